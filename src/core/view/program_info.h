// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace talphex {

// The program's name as its windows, message boxes and reports show it.
inline constexpr char kProgramTitle[] = "TALPHEX Telemetry Decoder";

}  // namespace talphex
