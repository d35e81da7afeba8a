# Release form of a Windows executable (VORN.EXE; also the 64-bit test
# build): compiled with debug information, which goes into TARGET.debug
# beside it; the executable itself stripped and linked to that file by a
# .gnu_debuglink section, so that a crash address reported from a device is
# resolved with the debug file (addr2line -e VORN.EXE.debug ADDRESS).
#
#   vorn_release_executable(TARGET [LIBRARIES...])
#
# LIBRARIES: static libraries linked into TARGET whose code should carry
# debug information too.
#
# Size steps (figures for VORN.EXE in docs/performance.md):
#  - -g: debug information only, the code is the same;
#  - --gc-sections: drops sections nothing refers to (per-function sections,
#    -ffunction-sections, measured larger here: each function gets aligned);
#  - --disable-reloc-section: no base relocations; XP loads an executable at
#    its preferred base always (no address space layout randomisation), so
#    they are never applied. Dynamic-base is cleared with them.
# os/win32/terminate.cpp keeps the C++ runtime's verbose terminate handler,
# and with it the demangler, out of the executable.
function(vorn_release_executable target)
  if(NOT CMAKE_OBJCOPY OR NOT CMAKE_STRIP)
    message(FATAL_ERROR "objcopy and strip of the toolchain not found")
  endif()
  foreach(t ${target} ${ARGN})
    target_compile_options(${t} PRIVATE -g)
  endforeach()
  target_link_options(${target} PRIVATE
      -Wl,--gc-sections -Wl,--disable-reloc-section)
  set(exe $<TARGET_FILE:${target}>)
  set(debug $<TARGET_FILE_NAME:${target}>.debug)
  add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${exe} ${debug}
      COMMAND ${CMAKE_STRIP} --strip-all ${exe}
      COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=${debug} ${exe}
      WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
      COMMENT "Debug information of $<TARGET_FILE_NAME:${target}> into ${debug}"
      VERBATIM)
  set_property(TARGET ${target} APPEND PROPERTY ADDITIONAL_CLEAN_FILES
      $<TARGET_FILE_DIR:${target}>/${debug})
endfunction()
