# libFuzzer targets (clang; the `fuzz` preset sets VORN_FUZZ). Every
# fuzz/<name>_fuzzer.cpp becomes the program <name>_fuzzer, which
# fuzz/run.sh runs on the seed corpus fuzz/corpus/<name>/: a new fuzzer
# needs only its source file and its seeds.
file(GLOB VORN_FUZZERS CONFIGURE_DEPENDS fuzz/*_fuzzer.cpp)
foreach(source ${VORN_FUZZERS})
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE vorn_system vorn_test_support)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endforeach()
