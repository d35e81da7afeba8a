# What both mingw-w64 cross toolchains share; the including toolchain file
# sets VORN_MINGW_PREFIX and CMAKE_SYSTEM_PROCESSOR first.
#
# The -win32 thread-model compilers are required: the -posix ones link
# winpthreads, which imports GetTickCount64 (absent on XP). Their C++ library
# has no std::thread/std::mutex; the OS port supplies locks instead.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${VORN_MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${VORN_MINGW_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER ${VORN_MINGW_PREFIX}-windres)
set(CMAKE_DLLTOOL ${VORN_MINGW_PREFIX}-dlltool CACHE FILEPATH "dlltool")
set(CMAKE_OBJDUMP ${VORN_MINGW_PREFIX}-objdump CACHE FILEPATH "objdump")

set(CMAKE_FIND_ROOT_PATH /usr/${VORN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Headers expose only what XP (NT 5.1) has.
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0501 -DWINVER=0x0501")
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0501 -DWINVER=0x0501")

# No runtime DLLs of ours beside the executable, and a PE header that XP's
# loader accepts (OS and subsystem version 5.1).
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-static -static-libgcc -static-libstdc++ -Wl,--major-os-version,5,--minor-os-version,1,--major-subsystem-version,5,--minor-subsystem-version,1")
