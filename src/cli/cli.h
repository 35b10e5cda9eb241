// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>

namespace talphex {

// The command-line decoder: capture files, standard input ("-") or a live KISS TCP connection.
// Exit status: 0 when every capture was read, 1 when one could not be read, an output could not be
// written or a connection was never made, 2 on a usage error.
int RunCli(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

}  // namespace talphex
