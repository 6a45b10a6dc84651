# Header-only libraries from the host's Debian packages (CLI11, nlohmann-json, ...), as
# INTERFACE targets. Each reaches the build through one private folder,
# ${CMAKE_BINARY_DIR}/host-headers, that holds only a link to the library's own header folder:
# the same headers serve the native and the MinGW-w64 cross build, and the cross compiler never
# searches the host's whole /usr/include.
set(PXR7_HOST_HEADERS_DIR ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${PXR7_HOST_HEADERS_DIR})

# pxr7_host_header_library(TARGET FOLDER HEADER PACKAGE): TARGET reaches FOLDER/HEADER (e.g.
# nlohmann/json.hpp), which the Debian package PACKAGE installs.
function(pxr7_host_header_library target folder header package)
  if(TARGET ${target})
    return()
  endif()
  string(MAKE_C_IDENTIFIER "PXR7_${folder}_INCLUDE_DIR" found_var)
  find_path(${found_var} ${folder}/${header} PATHS /usr/include /usr/local/include
            NO_CMAKE_FIND_ROOT_PATH)
  if(NOT ${found_var})
    message(FATAL_ERROR "${folder}/${header} not found: install ${package} (bash scripts/setup.sh)")
  endif()
  file(CREATE_LINK ${${found_var}}/${folder} ${PXR7_HOST_HEADERS_DIR}/${folder} SYMBOLIC)
  add_library(${target} INTERFACE)
  target_include_directories(${target} SYSTEM INTERFACE ${PXR7_HOST_HEADERS_DIR})
endfunction()
