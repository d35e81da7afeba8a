# VORN.EXE: the system on the Win32 backend, cross-built for Windows XP.
enable_language(RC)

# Import libraries for the write-filter DLLs of XP Embedded, which the
# toolchain does not ship. resources/*.def name the 32-bit stdcall symbols
# (name@N) that the compiler references; --kill-at binds them to the DLLs'
# undecorated exports. x64 has one calling convention and no decoration: its
# .def is the same list with the suffixes stripped, made at build time so
# that the 32-bit one stays the only list.
# vorn_made_library(TARGET FILE): TARGET names the static library FILE that
# a custom command of this directory makes, and builds it before its users.
function(vorn_made_library target file)
  string(MAKE_C_IDENTIFIER "${target}" maker)
  add_custom_target(make_${maker} DEPENDS ${file})
  add_library(${target} STATIC IMPORTED)
  set_target_properties(${target} PROPERTIES IMPORTED_LOCATION ${file})
  add_dependencies(${target} make_${maker})
endfunction()

set(VORN_IMPORT_LIBS)
foreach(dll EWFAPI FBWFLIB)
  set(def ${CMAKE_CURRENT_SOURCE_DIR}/resources/${dll}.def)
  set(lib ${CMAKE_CURRENT_BINARY_DIR}/lib${dll}.a)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(def64 ${CMAKE_CURRENT_BINARY_DIR}/${dll}-x64.def)
    add_custom_command(OUTPUT ${lib}
                       COMMAND sed -E "s/@[0-9]+[[:space:]]*$//" ${def} > ${def64}
                       COMMAND ${CMAKE_DLLTOOL} -d ${def64} -l ${lib}
                       DEPENDS ${def}
                       COMMENT "Import library for ${dll}.dll (x64)"
                       VERBATIM)
  else()
    add_custom_command(OUTPUT ${lib}
                       COMMAND ${CMAKE_DLLTOOL} --kill-at -d ${def} -l ${lib}
                       DEPENDS ${def}
                       COMMENT "Import library for ${dll}.dll")
  endif()
  vorn_made_library(${dll}::import ${lib})
  list(APPEND VORN_IMPORT_LIBS ${dll}::import)
endforeach()

# Delay-loaded DLLs: mapped on the first call into them (os/win32/delay_load.cpp
# says how a missing one fails), so that the service reports RUNNING after
# loading only what its start needs: kernel32, advapi32, ole32 for COM, the C
# runtime, and the write-filter libraries, which stay bound at load.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(VORN_DELAY_LIBS)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(x64 ON)
else()
  set(x64 OFF)
endif()
foreach(dll iphlpapi oleaut32 shlwapi user32)
  set(lib ${CMAKE_CURRENT_BINARY_DIR}/lib${dll}-delay.a)
  add_custom_command(OUTPUT ${lib}
                     COMMAND ${CMAKE_COMMAND} -DCXX=${CMAKE_CXX_COMPILER} -DNM=${CMAKE_NM}
                             -DDLLTOOL=${CMAKE_DLLTOOL} -DDLL=${dll} -DX64=${x64} -DOUT=${lib}
                             -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/delay_import.cmake
                     DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/cmake/delay_import.cmake
                     COMMENT "Delay-import library for ${dll}.dll"
                     VERBATIM)
  vorn_made_library(${dll}::delay ${lib})
  list(APPEND VORN_DELAY_LIBS ${dll}::delay)
endforeach()

# The Win32 backend sees the port and its own folder. An object library, not
# a static one: every object goes into the executable as before, among them
# terminate.cpp's handler, which nothing references by name.
file(GLOB VORN_WIN32_SOURCES CONFIGURE_DEPENDS os/win32/*.cpp)
list(FILTER VORN_WIN32_SOURCES EXCLUDE REGEX "_test\\.cpp$")
add_library(vorn_os_win32 OBJECT ${VORN_WIN32_SOURCES})
vorn_include_view(vorn_os_win32 PUBLIC os/win32)
target_link_libraries(vorn_os_win32 PUBLIC vorn_os)
target_compile_definitions(vorn_os_win32 PRIVATE NOMINMAX)
target_compile_options(vorn_os_win32 PRIVATE -Wall -Wextra)

# The type library resource, compiled from IDL.
# widl's --win32/--win64 set the pointer size the library describes.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VORN_WIDL_TARGET --win64)
else()
  set(VORN_WIDL_TARGET --win32)
endif()
find_program(VORN_WIDL NAMES ${VORN_MINGW_PREFIX}-widl i686-w64-mingw32-widl widl REQUIRED)
set(VORN_TLB ${CMAKE_CURRENT_BINARY_DIR}/vorn.tlb)
add_custom_command(OUTPUT ${VORN_TLB}
                   COMMAND ${VORN_WIDL} ${VORN_WIDL_TARGET} -t -o ${VORN_TLB}
                           ${CMAKE_CURRENT_SOURCE_DIR}/resources/vorn.idl
                   DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/resources/vorn.idl
                   COMMENT "Type library from vorn.idl")
set_source_files_properties(resources/vorn.rc PROPERTIES OBJECT_DEPENDS
    "${VORN_TLB};${CMAKE_CURRENT_SOURCE_DIR}/resources/VORN.rgs;${CMAKE_CURRENT_BINARY_DIR}/generated/vorn_version.h")

# The Windows entry point (programs/main_win32.cpp) starts the whole process:
# it sees the system and the backend.
add_executable(vorn_exe WIN32 programs/main_win32.cpp resources/vorn.rc ${VORN_TLB})
set_source_files_properties(${VORN_TLB} PROPERTIES HEADER_FILE_ONLY ON)
set_target_properties(vorn_exe PROPERTIES OUTPUT_NAME VORN SUFFIX .EXE)
target_include_directories(vorn_exe PRIVATE
    ${CMAKE_CURRENT_SOURCE_DIR}/resources ${CMAKE_CURRENT_BINARY_DIR}
    ${CMAKE_CURRENT_BINARY_DIR}/generated)
target_compile_definitions(vorn_exe PRIVATE NOMINMAX)
target_compile_options(vorn_exe PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra>)
target_link_libraries(vorn_exe PRIVATE vorn_system vorn_os_win32 ${VORN_IMPORT_LIBS}
    ${VORN_DELAY_LIBS} ole32 uuid advapi32 kernel32)
# The end of the delay-import table and the table of the functions' thunks
# (os/win32/delay_load.cpp) are referenced by nothing: --undefined keeps them
# past --gc-sections. After the link, while
# the symbols are there, the header's delay-import directory is pointed at
# the table (before the release form strips them: this command comes first).
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  target_link_options(vorn_exe PRIVATE -Wl,--undefined=vorn_delay_import_end)
else()
  target_link_options(vorn_exe PRIVATE -Wl,--undefined=_vorn_delay_import_end)
endif()
target_link_options(vorn_exe PRIVATE -Wl,--undefined=vorn_delay_thunks)
add_custom_command(TARGET vorn_exe POST_BUILD
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/scripts/pe_delay_imports.py
            directory $<TARGET_FILE:vorn_exe> ${CMAKE_NM}
    VERBATIM)

# The 64-bit test build can be made to fail Win32 calls at run time (the
# device's "faults" under Wine, tests/wine/fault_injection_win64.cpp). The
# shipped 32-bit build never links it: its bytes are those of the sources
# alone.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  add_library(vorn_fault_injection OBJECT tests/wine/fault_injection_win64.cpp
              tests/wine/wine_faults.cpp)
  vorn_include_view(vorn_fault_injection PRIVATE tests/wine/wine_faults.h)
  target_compile_options(vorn_fault_injection PRIVATE -Wall -Wextra)
  target_link_libraries(vorn_exe PRIVATE vorn_fault_injection)
endif()

# The import table must stay within what XP SP3 provides. The 64-bit test
# build is held to the same list plus its runtime's own x64 imports.
enable_testing()
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VORN_IMPORT_CHECK_MODE --win64)
else()
  set(VORN_IMPORT_CHECK_MODE)
endif()
add_test(NAME xp.imports
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/xp/check_imports.sh
                 ${VORN_IMPORT_CHECK_MODE} $<TARGET_FILE:vorn_exe>)
add_test(NAME xp.resources
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/xp/check_resources.sh
                 $<TARGET_FILE:vorn_exe> ${CMAKE_CURRENT_SOURCE_DIR}/resources/VORN.rgs
                 ${PROJECT_VERSION})
set_tests_properties(xp.resources PROPERTIES
                     ENVIRONMENT "WINDRES=${CMAKE_RC_COMPILER}")
add_test(NAME xp.delay_stubs
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/xp/check_delay_stubs.sh
                 $<TARGET_FILE:vorn_exe>)
add_test(NAME xp.imports_selftest
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/xp/selftest.sh)

# The stand-ins of the Wine runs, built for this architecture: the real
# libraries' undecorated export names, system DLLs only.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VORN_STANDINS_ARCH win64)
else()
  set(VORN_STANDINS_ARCH win32)
endif()
add_test(NAME wine.standins_exports
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/wine/standins/check_exports.sh
                 ${VORN_STANDINS_ARCH})

# The failure hook of the delay-loaded imports under Wine: VORN's
# delay-loaded functions bound to a DLL that does not exist and to
# kernel32.dll, which lacks them (os/win32/delay_load_test.cpp).
set(VORN_DELAY_PROBE_LIBS)
foreach(probe "vorn-absent.dll:GetAdaptersInfo@8 GetMessageA@16 LoadTypeLibEx@12 VariantInit@4"
              "kernel32.dll:SHDeleteKeyA@8 StrStrIA@8")
  string(REPLACE ":" ";" probe "${probe}")
  list(GET probe 0 dll)
  list(GET probe 1 names)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    string(REGEX REPLACE "@[0-9]+" "" names "${names}")
  endif()
  string(REPLACE " " "\n" names "${names}")
  set(def ${CMAKE_CURRENT_BINARY_DIR}/probe-${dll}.def)
  set(lib ${CMAKE_CURRENT_BINARY_DIR}/libprobe-${dll}.a)
  file(WRITE ${def} "LIBRARY ${dll}\nEXPORTS\n${names}\n")
  add_custom_command(OUTPUT ${lib} COMMAND ${CMAKE_DLLTOOL} --kill-at -d ${def} -y ${lib}
                     DEPENDS ${def} VERBATIM)
  list(APPEND VORN_DELAY_PROBE_LIBS ${lib})
endforeach()
add_executable(delay_load_test os/win32/delay_load_test.cpp os/win32/delay_load.cpp
               ${VORN_DELAY_PROBE_LIBS})
set_source_files_properties(${VORN_DELAY_PROBE_LIBS} PROPERTIES EXTERNAL_OBJECT ON)
target_include_directories(delay_load_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(delay_load_test PRIVATE NOMINMAX)
target_link_libraries(delay_load_test PRIVATE ${VORN_DELAY_PROBE_LIBS})

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  add_test(NAME wine.delay_load
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/wine/delay_load_test.sh
                   $<TARGET_FILE:delay_load_test>)
  set_tests_properties(wine.delay_load PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300 LABELS wine)
  # The 64-bit build under 64-bit Wine, against the stand-ins of the
  # device's libraries and programs.
  add_test(NAME wine.standins
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/wine/standins_test.sh
                   $<TARGET_FILE:vorn_exe>)
  set_tests_properties(wine.standins PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900 LABELS wine)
  # Every function the failure injection can fail is still imported.
  add_test(NAME wine.fault_calls
           COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/scripts/check_fault_calls.py
                   ${VORN_MINGW_PREFIX}-objdump $<TARGET_FILE:vorn_exe>
                   ${CMAKE_CURRENT_SOURCE_DIR}/tests/wine/wine_faults.cpp)
else()
  # End-to-end smoke test under Wine; skipped (77) where 32-bit Wine cannot run.
  add_test(NAME wine.smoke
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/wine/smoke.sh
                   $<TARGET_FILE:vorn_exe>)
  set_tests_properties(wine.smoke PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 1800 LABELS wine)
endif()

# Release form: stripped, its debug information in VORN.EXE.debug beside it.
include(cmake/release.cmake)
vorn_release_executable(vorn_exe ${VORN_LAYER_LIBRARIES} vorn_os_win32)
add_test(NAME xp.release
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/xp/check_release.sh
                 $<TARGET_FILE:vorn_exe> 307200)
set_tests_properties(xp.release PROPERTIES ENVIRONMENT MINGW_TOOLS=${VORN_MINGW_PREFIX})
