# cmake -DINPUT=file -DOUTPUT=file.cpp -DFUNCTION=name -P EmbedFile.cmake
# Writes a C++ source whose function NAME() returns the input file's bytes as
# a std::string_view, so files kept as plain text in the tree are compiled
# into the program without a tool beyond CMake.
file(READ "${INPUT}" _hex HEX)
string(LENGTH "${_hex}" _hexlen)
math(EXPR _size "${_hexlen} / 2")
# One "0xNN," per byte, sixteen to a line; a trailing zero keeps the array
# non-empty for an empty file and is not counted in the size.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _bytes "${_hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" _bytes "${_bytes}")
get_filename_component(_name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${_name} at build time; edit that file instead.
#include <string_view>

namespace {
const unsigned char kBytes[] = {
${_bytes}0x00};
}  // namespace

std::string_view ${FUNCTION}() {
  return {reinterpret_cast<const char*>(kBytes), ${_size}};
}
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
