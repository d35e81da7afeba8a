# Cross toolchain for VORN.EXE: 32-bit x86 Windows XP SP3 / XP Embedded.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VORN_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
