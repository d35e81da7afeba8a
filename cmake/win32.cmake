# VORN.EXE: the system on the Win32 backend, cross-built for Windows XP.
enable_language(RC)

# Import libraries for the write-filter DLLs of XP Embedded, which the
# toolchain does not ship. --kill-at: the DLLs export undecorated stdcall
# names.
set(VORN_IMPORT_LIBS)
foreach(dll EWFAPI FBWFLIB)
  set(def ${CMAKE_CURRENT_SOURCE_DIR}/resources/${dll}.def)
  set(lib ${CMAKE_CURRENT_BINARY_DIR}/lib${dll}.a)
  add_custom_command(OUTPUT ${lib}
                     COMMAND ${CMAKE_DLLTOOL} --kill-at -d ${def} -l ${lib}
                     DEPENDS ${def}
                     COMMENT "Import library for ${dll}.dll")
  add_custom_target(${dll}_implib DEPENDS ${lib})
  add_library(${dll}::import STATIC IMPORTED)
  set_target_properties(${dll}::import PROPERTIES IMPORTED_LOCATION ${lib})
  add_dependencies(${dll}::import ${dll}_implib)
  list(APPEND VORN_IMPORT_LIBS ${dll}::import)
endforeach()

file(GLOB VORN_WIN32_SOURCES CONFIGURE_DEPENDS os/win32/*.cpp)
list(FILTER VORN_WIN32_SOURCES EXCLUDE REGEX "_test\\.cpp$")

# The type library resource, compiled from IDL.
find_program(VORN_WIDL NAMES i686-w64-mingw32-widl widl REQUIRED)
set(VORN_TLB ${CMAKE_CURRENT_BINARY_DIR}/vorn.tlb)
add_custom_command(OUTPUT ${VORN_TLB}
                   COMMAND ${VORN_WIDL} --win32 -t -o ${VORN_TLB}
                           ${CMAKE_CURRENT_SOURCE_DIR}/resources/vorn.idl
                   DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/resources/vorn.idl
                   COMMENT "Type library from vorn.idl")
set_source_files_properties(resources/vorn.rc PROPERTIES OBJECT_DEPENDS
    "${VORN_TLB};${CMAKE_CURRENT_SOURCE_DIR}/resources/VORN.rgs;${CMAKE_CURRENT_BINARY_DIR}/generated/vorn_version.h")

add_executable(vorn_exe WIN32 ${VORN_WIN32_SOURCES} resources/vorn.rc ${VORN_TLB})
set_source_files_properties(${VORN_TLB} PROPERTIES HEADER_FILE_ONLY ON)
set_target_properties(vorn_exe PROPERTIES OUTPUT_NAME VORN SUFFIX .EXE)
target_include_directories(vorn_exe PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}
    ${CMAKE_CURRENT_SOURCE_DIR}/resources ${CMAKE_CURRENT_BINARY_DIR}
    ${CMAKE_CURRENT_BINARY_DIR}/generated)
target_compile_definitions(vorn_exe PRIVATE NOMINMAX)
target_compile_options(vorn_exe PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra>)
target_link_libraries(vorn_exe PRIVATE vorn_system ${VORN_IMPORT_LIBS}
    iphlpapi shlwapi ole32 oleaut32 uuid user32 advapi32 kernel32)

# The import table must stay within what XP SP3 provides.
enable_testing()
add_test(NAME xp.imports
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/xp/check_imports.sh
                 $<TARGET_FILE:vorn_exe>)
add_test(NAME xp.resources
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/xp/check_resources.sh
                 $<TARGET_FILE:vorn_exe> ${CMAKE_CURRENT_SOURCE_DIR}/resources/VORN.rgs
                 ${PROJECT_VERSION})
add_test(NAME xp.imports_selftest
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/xp/selftest.sh)

# End-to-end smoke test under Wine; skipped (77) where 32-bit Wine cannot run.
add_test(NAME wine.smoke
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/wine/smoke.sh
                 $<TARGET_FILE:vorn_exe>)
set_tests_properties(wine.smoke PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 1800)

# Release form: stripped, its debug information in VORN.EXE.debug beside it.
include(cmake/release.cmake)
vorn_release_executable(vorn_exe vorn_system)
add_test(NAME xp.release
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/xp/check_release.sh
                 $<TARGET_FILE:vorn_exe> 307200)
set_tests_properties(xp.release PROPERTIES ENVIRONMENT MINGW_TOOLS=${VORN_MINGW_PREFIX})
