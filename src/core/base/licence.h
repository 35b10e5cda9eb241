// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace talphex {

// The licence as both programs' --version and the Info window name it, with the place where
// Debian systems keep its full text (the packages' copyright files point there too).
inline constexpr char kLicenceLine[] =
    "Licence: GPL-3.0-or-later, without any warranty; the full text is in "
    "/usr/share/common-licenses/GPL-3";

}  // namespace talphex
