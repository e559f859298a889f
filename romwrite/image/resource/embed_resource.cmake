# Turns a "BIN_DAT" resource file into a C++ source defining romwrite::embeddedResource().
#   cmake -DINPUT=<file> -DOUTPUT=<file.cpp> -P embed_resource.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
if(size EQUAL 0)
  set(body "0")
else()
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," body "${hex}")
  string(REPEAT "0x..," 16 row)
  string(REGEX REPLACE "(${row})" "\\1\n    " body "${body}")
endif()
file(WRITE "${OUTPUT}.tmp" "// Generated from ${INPUT}; do not edit.
#include <cstdint>
#include <span>

namespace romwrite {

namespace {
alignas(4) const std::uint8_t kResource[] = {
    ${body}
};
}  // namespace

std::span<const std::uint8_t> embeddedResource() { return {kResource, ${size}u}; }

}  // namespace romwrite
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
