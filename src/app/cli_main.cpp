// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdio>

#include "cli/cli.h"

int main(int argc, char** argv) { return talphex::RunCli(argc, argv, stdout, stderr); }
