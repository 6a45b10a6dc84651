# Makes the manual page pxr7.1.gz from the program's own --help and --version, so the page never
# falls behind the program. Run at build time:
#   cmake -DHELP2MAN=... -DPROGRAM=.../pxr7 -DOUTPUT=.../pxr7.1.gz -P man-page.cmake
foreach(variable HELP2MAN PROGRAM OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "man-page.cmake: ${variable} not set")
  endif()
endforeach()

# The page is named after the program, not after the version line's product name, so the
# version comes from `about` and help2man is told it.
execute_process(COMMAND "${PROGRAM}" about
  RESULT_VARIABLE about_status OUTPUT_VARIABLE about_text ERROR_QUIET)
string(REGEX MATCH "V[0-9]+\\.[0-9]+" version "${about_text}")
if(NOT about_status EQUAL 0 OR version STREQUAL "")
  message(FATAL_ERROR "man-page.cmake: `pxr7 about` gives no version")
endif()
set(version_option "--version-string=pxr7 ${version}")

get_filename_component(page "${OUTPUT}" NAME_WLE)
set(page "${OUTPUT}.tmp/${page}")
file(MAKE_DIRECTORY "${OUTPUT}.tmp")
execute_process(COMMAND "${HELP2MAN}" --no-info --section=1
    "--name=upgrade the firmware of a PXR7 meter" ${version_option}
    "--output=${page}" "${PROGRAM}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "man-page.cmake: help2man failed")
endif()
# -n: no name or time stamp in the archive, so the same page gives the same bytes.
execute_process(COMMAND gzip -n -9 -f "${page}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "man-page.cmake: gzip failed")
endif()
file(RENAME "${page}.gz" "${OUTPUT}")
file(REMOVE_RECURSE "${OUTPUT}.tmp")
