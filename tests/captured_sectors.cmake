# Writes OUTPUT, a C++ source that holds every file of SECTORS (a folder of 512-byte sectors and
# 4096-byte NVMe Identify data) by its name, behind CapturedBytes(). Run with cmake -P.
file(GLOB files "${SECTORS}/*")
list(SORT files)
set(entries "")
foreach(file IN LISTS files)
  get_filename_component(name "${file}" NAME)
  file(READ "${file}" hex HEX)
  string(LENGTH "${hex}" digits)
  if(NOT digits EQUAL 1024 AND NOT digits EQUAL 8192)
    message(FATAL_ERROR "${file} is neither one 512-byte sector nor 4096 bytes")
  endif()
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND entries "    {\"${name}\", {${bytes}}},\n")
endforeach()
file(WRITE "${OUTPUT}.new" "// Generated from ${SECTORS}.
#include <map>

#include \"tests/captured_sectors.h\"

namespace trelmoss::test {

const std::vector<std::uint8_t>& CapturedBytes(const std::string& name) {
  static const std::map<std::string, std::vector<std::uint8_t>> captured = {
${entries}  };
  return captured.at(name);
}

}  // namespace trelmoss::test
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
