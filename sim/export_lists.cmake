# Export lists of the simulated D2XX library, derived from the lists of entry points (required
# and optional) in link/d2xx_entries.h: a .def file (Windows, names at their ordinals) and a
# linker version script (elsewhere). Nothing here spells an entry point's name.

set(PXR7_D2XX_ENTRIES_HEADER "${PROJECT_SOURCE_DIR}/link/d2xx_entries.h")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${PXR7_D2XX_ENTRIES_HEADER}")

# Read as one text: the lists' lines end in backslashes, which file(STRINGS) would keep.
file(READ "${PXR7_D2XX_ENTRIES_HEADER}" _pxr7_entries_text)

# _pxr7_entry_list(<macro> <expected count> <ordinals var> <names var>)
# The ordinals and names of one list: the body of #define <macro>(X), up to its first line
# without a continuing backslash (the lists hold no other backslash).
function(_pxr7_entry_list macro expected ordinals_var names_var)
  string(REGEX MATCH "#define ${macro}\\(X\\)([^\n\\\\]|\\\\\n)*" _body
         "${_pxr7_entries_text}")
  string(REGEX MATCHALL "X\\([0-9]+, *[A-Za-z_][A-Za-z0-9_]*," _heads "${_body}")
  set(_ordinals)
  set(_names)
  foreach(_head IN LISTS _heads)
    string(REGEX MATCH "X\\(([0-9]+), *([A-Za-z_][A-Za-z0-9_]*)," _match "${_head}")
    list(APPEND _ordinals "${CMAKE_MATCH_1}")
    list(APPEND _names "${CMAKE_MATCH_2}")
  endforeach()
  list(LENGTH _names _count)
  if(NOT _count EQUAL expected)
    message(FATAL_ERROR "expected ${expected} entry points in ${macro} of "
                        "${PXR7_D2XX_ENTRIES_HEADER}, found ${_count}")
  endif()
  set(${ordinals_var} "${_ordinals}" PARENT_SCOPE)
  set(${names_var} "${_names}" PARENT_SCOPE)
endfunction()

_pxr7_entry_list(D2XX_ENTRY_POINTS 16 _pxr7_required_ordinals _pxr7_required_names)
_pxr7_entry_list(D2XX_OPTIONAL_ENTRY_POINTS 3 _pxr7_optional_ordinals _pxr7_optional_names)
# Every entry the simulator implements: the required ones, then the optional ones.
set(PXR7_D2XX_ENTRY_ORDINALS ${_pxr7_required_ordinals} ${_pxr7_optional_ordinals})
set(PXR7_D2XX_ENTRY_NAMES ${_pxr7_required_names} ${_pxr7_optional_names})

# The simulator's own control entry, after the ordinals FTDI's library uses (1-93).
set(PXR7_SIM_RESET_ORDINAL 94)

# Writes file only when its content changes, so a re-configure does not relink.
function(_pxr7_write_if_changed file content)
  if(EXISTS "${file}")
    file(READ "${file}" _old)
    if(_old STREQUAL content)
      return()
    endif()
  endif()
  file(WRITE "${file}" "${content}")
endfunction()

# pxr7_sim_export_list(<target> <library file name> [OMIT <entry>...])
# Attaches to target the export list with every entry point except the omitted ones.
function(pxr7_sim_export_list target library)
  cmake_parse_arguments(ARG "" "" "OMIT" ${ARGN})
  set(_def "LIBRARY ${library}\nEXPORTS\n")
  set(_script "{\n  global:\n")
  foreach(_ordinal _name IN ZIP_LISTS PXR7_D2XX_ENTRY_ORDINALS PXR7_D2XX_ENTRY_NAMES)
    if(NOT _name IN_LIST ARG_OMIT)
      string(APPEND _def "  ${_name} @${_ordinal}\n")
      string(APPEND _script "    ${_name};\n")
    endif()
  endforeach()
  string(APPEND _def "  pxr7sim_reset @${PXR7_SIM_RESET_ORDINAL}\n")
  string(APPEND _script "    pxr7sim_reset;\n  local: *;\n};\n")

  if(WIN32)
    set(_file "${CMAKE_CURRENT_BINARY_DIR}/${target}.def")
    _pxr7_write_if_changed("${_file}" "${_def}")
    target_sources(${target} PRIVATE "${_file}")
  else()
    set(_file "${CMAKE_CURRENT_BINARY_DIR}/${target}.map")
    _pxr7_write_if_changed("${_file}" "${_script}")
    target_link_options(${target} PRIVATE "LINKER:--version-script=${_file}")
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${_file}")
  endif()
endfunction()
