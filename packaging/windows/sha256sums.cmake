# Writes SHA256SUMS beside the files of the Windows folder, in the format `sha256sum -c` reads:
# one "HASH  NAME" line per file, sorted by name. Runs as the last install step, so the sums
# are of the files as installed (the programs stripped) and so of what the .zip carries.
set(folder "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
file(GLOB names RELATIVE "${folder}" "${folder}/*")
list(REMOVE_ITEM names SHA256SUMS)
list(SORT names)
set(sums "")
foreach(name IN LISTS names)
  if(NOT IS_DIRECTORY "${folder}/${name}")
    file(SHA256 "${folder}/${name}" hash)
    string(APPEND sums "${hash}  ${name}\n")
  endif()
endforeach()
file(WRITE "${folder}/SHA256SUMS" "${sums}")
message(STATUS "Installing: ${folder}/SHA256SUMS")
