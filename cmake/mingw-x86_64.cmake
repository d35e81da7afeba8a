# Cross toolchain for the 64-bit test build of VORN.EXE, which runs under
# 64-bit Wine on machines that cannot execute 32-bit x86 code. Never
# shipped: the product is the i686 build. Same headers, runtime linkage and
# PE header versions as the product, so both builds see the same API.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(VORN_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
