# Makes the manual page pxr7.1.gz from the program's own --help and --version, so the page never
# falls behind the program, and from pxr7.h2m beside this file for what the help does not say
# (environment, files, examples). Run at build time:
#   cmake -DHELP2MAN=... -DPROGRAM=.../pxr7 -DOUTPUT=.../pxr7.1.gz -P man-page.cmake
foreach(variable HELP2MAN PROGRAM OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "man-page.cmake: ${variable} not set")
  endif()
endforeach()

# The first line of --version is "pxr7 program 1.3.0": the footer names the program and that
# version, never the firmware image's.
execute_process(COMMAND "${PROGRAM}" --version
  RESULT_VARIABLE version_status OUTPUT_VARIABLE version_text ERROR_QUIET)
string(REGEX MATCH "^pxr7 program ([0-9]+\\.[0-9]+\\.[0-9]+)" version_line "${version_text}")
if(NOT version_status EQUAL 0 OR version_line STREQUAL "")
  message(FATAL_ERROR "man-page.cmake: `pxr7 --version` gives no program version")
endif()

get_filename_component(page "${OUTPUT}" NAME_WLE)
set(page "${OUTPUT}.tmp/${page}")
file(MAKE_DIRECTORY "${OUTPUT}.tmp")
execute_process(COMMAND "${HELP2MAN}" --no-info --section=1
    "--name=upgrade the firmware of PXR7 meters through their USB leads"
    "--version-string=pxr7 ${CMAKE_MATCH_1}"
    "--include=${CMAKE_CURRENT_LIST_DIR}/pxr7.h2m"
    "--output=${page}" "${PROGRAM}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "man-page.cmake: help2man failed")
endif()

# help2man makes each heading of the help a subsection of DESCRIPTION. The commands, the
# options and the exit codes get sections of their own, in the order a manual page has them.
file(READ "${page}" roff)
string(REPLACE ".SS \"Commands:\"" ".SH COMMANDS" roff "${roff}")
string(REPLACE ".SS \"Exit codes:\"" ".SH \"EXIT STATUS\"" roff "${roff}")
string(FIND "${roff}" ".SS \"Options" first_options)
if(first_options EQUAL -1 OR NOT roff MATCHES "\\.SH COMMANDS" OR NOT roff MATCHES "EXIT STATUS")
  message(FATAL_ERROR "man-page.cmake: the help has no Commands, Options or Exit codes heading")
endif()
string(SUBSTRING "${roff}" 0 ${first_options} head)
string(SUBSTRING "${roff}" ${first_options} -1 tail)
string(REGEX REPLACE "\n\\.SS \"([^\"\n]*):\"" "\n.SS \"\\1\"" tail "\n${tail}")
string(SUBSTRING "${tail}" 1 -1 tail)
file(WRITE "${page}" "${head}.SH OPTIONS\n${tail}")

# -n: no name or time stamp in the archive, so the same page gives the same bytes.
execute_process(COMMAND gzip -n -9 -f "${page}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "man-page.cmake: gzip failed")
endif()
file(RENAME "${page}.gz" "${OUTPUT}")
file(REMOVE_RECURSE "${OUTPUT}.tmp")
