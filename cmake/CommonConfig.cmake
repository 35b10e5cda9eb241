# SPDX-License-Identifier: GPL-3.0-or-later
# One interface target carries the language level, warnings and sanitizer flags; every target
# of the project links it.
add_library(talphex_options INTERFACE)
target_compile_features(talphex_options INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
target_compile_options(talphex_options INTERFACE -Wall -Wextra -Wpedantic -Wold-style-cast)
# GCC 12 reports false -Wrestrict overlaps inside libstdc++'s std::string code in optimised
# builds (GCC bug 105329); they say nothing about this project's code.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(talphex_options INTERFACE -Wno-restrict)
endif()
if(TALPHEX_WARNINGS_AS_ERRORS)
  target_compile_options(talphex_options INTERFACE -Werror)
endif()
target_compile_definitions(talphex_options INTERFACE QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
                                                     TALPHEX_VERSION="${PROJECT_VERSION}")
if(TALPHEX_SANITIZE)
  target_compile_options(talphex_options INTERFACE -fsanitize=address,undefined
                                                   -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(talphex_options INTERFACE -fsanitize=address,undefined)
endif()
# The hardening Debian builds its packages with: relocations read-only and bound at start, and
# checked C library calls in optimised builds (the sanitizers check those calls in theirs).
target_link_options(talphex_options INTERFACE -Wl,-z,relro,-z,now)
if(NOT TALPHEX_SANITIZE AND NOT TALPHEX_FUZZ)
  target_compile_definitions(talphex_options INTERFACE
                             $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
endif()
