# Run as a script at build time: writes OUTPUT, a C++ file holding every file in the folder
# PAGE_DIR as bytes, with a table of their names, so the program serves its dashboard pages
# without any file beside it.
#   cmake -DPAGE_DIR=... -DOUTPUT=... -P embed_page.cmake
file(GLOB page_files RELATIVE "${PAGE_DIR}" "${PAGE_DIR}/*")
list(SORT page_files)
set(arrays "")
set(table "")
set(n 0)
foreach(name IN LISTS page_files)
  if(IS_DIRECTORY "${PAGE_DIR}/${name}")
    continue()
  endif()
  file(READ "${PAGE_DIR}/${name}" hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
  string(APPEND arrays "const unsigned char kFile${n}[] = {\n${bytes}0};\n")
  string(APPEND table "    {\"${name}\", reinterpret_cast<const char*>(kFile${n}), ${size}},\n")
  math(EXPR n "${n} + 1")
endforeach()
set(content "// Made by cmake/embed_page.cmake from dashboard/page: do not edit.
#include \"page_assets.h\"

namespace pxr7 {
namespace {
${arrays}} // namespace

const EmbeddedFile kPageFiles[] = {
${table}};
const std::size_t kPageFileCount = ${n};

} // namespace pxr7
")
# Rewritten only when it changes, so an unchanged page set compiles nothing again.
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL content)
  file(WRITE "${OUTPUT}" "${content}")
endif()
