// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>

namespace talphex {

// The command-line decoder. Exit status: 0 when every capture was read, 1 when one could not be
// read or an output could not be written, 2 on a usage error.
int RunCli(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

}  // namespace talphex
