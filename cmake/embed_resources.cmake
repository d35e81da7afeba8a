# Writes OUTPUT, a C++ header that gives the simulated device the resources
# VORN.EXE carries: the registry script's exact bytes and the type library's
# header as the IDL declares it. Run with cmake -P at build time:
#   cmake -DRGS=... -DIDL=... -DOUTPUT=... -P embed_resources.cmake
file(READ "${RGS}" rgs_hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," rgs_bytes "${rgs_hex}")
string(LENGTH "${rgs_hex}" rgs_digits)
math(EXPR rgs_size "${rgs_digits} / 2")

file(READ "${IDL}" idl)
string(REGEX MATCH "uuid\\(([0-9A-Fa-f-]+)\\)" _ "${idl}")
set(libid "${CMAKE_MATCH_1}")
string(REGEX MATCH "version\\(([0-9]+)\\.([0-9]+)\\)" _ "${idl}")
set(major "${CMAKE_MATCH_1}")
set(minor "${CMAKE_MATCH_2}")
string(REGEX MATCH "helpstring\\(\"([^\"]*)\"\\)" _ "${idl}")
set(help "${CMAKE_MATCH_1}")
string(REGEX MATCH "library[ \t\r\n]+([A-Za-z_][A-Za-z0-9_]*)" _ "${idl}")
set(name "${CMAKE_MATCH_1}")
if(libid STREQUAL "" OR major STREQUAL "" OR help STREQUAL "" OR name STREQUAL "")
  message(FATAL_ERROR "${IDL}: uuid, version, helpstring or library name not found")
endif()

file(WRITE "${OUTPUT}.tmp"
"// Generated from ${RGS} and ${IDL}; do not edit.
#pragma once
#include <cstddef>
namespace sim::resources {
inline constexpr unsigned char kRegistryScript[] = {${rgs_bytes}};
inline constexpr std::size_t kRegistryScriptSize = ${rgs_size};
inline constexpr char kTypeLibId[] = \"{${libid}}\";
inline constexpr char kTypeLibName[] = \"${name}\";
inline constexpr char kTypeLibHelp[] = \"${help}\";
inline constexpr unsigned kTypeLibMajor = ${major};
inline constexpr unsigned kTypeLibMinor = ${minor};
}  // namespace sim::resources
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
