# The failure sweep (tests/reliability): a program of its own, so that it can
# print its figures; ctest runs it in the native and sanitizer builds.
add_executable(vorn_sweep tests/reliability/sweep.cpp)
target_link_libraries(vorn_sweep PRIVATE vorn_system vorn_sim_os)
add_test(NAME reliability.sweep COMMAND vorn_sweep)
set_tests_properties(reliability.sweep PROPERTIES TIMEOUT 300)
