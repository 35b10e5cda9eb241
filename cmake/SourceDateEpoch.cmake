# SPDX-License-Identifier: GPL-3.0-or-later
# Read by cpack before it builds a package: unless the caller set SOURCE_DATE_EPOCH, the time of
# the source tree's last commit, else the date of the changelog's newest entry, becomes the date
# of every file in the package.
function(talphex_set_source_date_epoch source_dir)
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    return()
  endif()
  execute_process(COMMAND git -C ${source_dir} log -1 --format=%ct
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE failed ERROR_QUIET)
  if(failed OR NOT epoch MATCHES "^[0-9]+$")
    execute_process(COMMAND dpkg-parsechangelog -l ${source_dir}/packaging/changelog
                            -S Timestamp
                    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE failed ERROR_QUIET)
  endif()
  if(NOT failed AND epoch MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} ${epoch})
  endif()
endfunction()
