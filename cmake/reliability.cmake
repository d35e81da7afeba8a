# The failure sweep (tests/reliability): a program of its own, so that it can
# print its figures; ctest runs it in the native and sanitizer builds.
add_executable(vorn_sweep tests/reliability/sweep.cpp)
target_link_libraries(vorn_sweep PRIVATE vorn_system vorn_test_support vorn_test_helpers)
add_test(NAME reliability.sweep COMMAND vorn_sweep)
set_tests_properties(reliability.sweep PROPERTIES TIMEOUT 300)

# Power cuts at every step of a first boot of the example device.
add_executable(vorn_power_cut tests/reliability/power_cut.cpp)
target_link_libraries(vorn_power_cut PRIVATE vorn_system vorn_test_support vorn_test_helpers)
add_test(NAME reliability.power_cut
         COMMAND vorn_power_cut ${CMAKE_SOURCE_DIR}/examples/first-boot)
set_tests_properties(reliability.power_cut PROPERTIES TIMEOUT 300)
