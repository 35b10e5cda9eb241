#include <cstdio>

#include "app/cli.h"

int main(int argc, char** argv) { return talphex::RunCli(argc, argv, stdout, stderr); }
