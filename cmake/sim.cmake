# The simulated device, vorn-sim and the tests (native builds).
find_package(nlohmann_json 3 REQUIRED)
find_package(LibXml2 REQUIRED)
find_package(Threads REQUIRED)

# The device model (device/): the folder, its registry, device.json, the
# journal, the calendar, the power cut and fault injection. It sees the
# port's types and nothing of the backend, the tools or the system.
vorn_layer(vorn_device device vorn_os)
target_link_libraries(vorn_device PUBLIC nlohmann_json::nlohmann_json Threads::Threads)

file(GLOB VORN_SIM_SOURCES CONFIGURE_DEPENDS os/sim/*.cpp)
list(FILTER VORN_SIM_SOURCES EXCLUDE REGEX "_test\\.cpp$")

# The resources VORN.EXE carries, compiled into the simulated device so that
# vorn-sim needs no files beside the device folder.
set(VORN_SIM_RESOURCES ${CMAKE_CURRENT_BINARY_DIR}/generated/os/sim/vorn_resources.h)
add_custom_command(
  OUTPUT ${VORN_SIM_RESOURCES}
  COMMAND ${CMAKE_COMMAND}
          -DRGS=${CMAKE_CURRENT_SOURCE_DIR}/resources/VORN.rgs
          -DIDL=${CMAKE_CURRENT_SOURCE_DIR}/resources/vorn.idl
          -DOUTPUT=${VORN_SIM_RESOURCES}
          -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed_resources.cmake
  DEPENDS resources/VORN.rgs resources/vorn.idl cmake/embed_resources.cmake
  COMMENT "Embedding the registry script and type library header")

# The simulated backend, beside os/win32 on the floor under the port: the
# port's operations played on the device model.
add_library(vorn_sim_os STATIC ${VORN_SIM_SOURCES} ${VORN_SIM_RESOURCES})
vorn_include_view(vorn_sim_os PUBLIC os/sim)
target_include_directories(vorn_sim_os PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated)
target_link_libraries(vorn_sim_os PUBLIC vorn_os vorn_device LibXml2::LibXml2 Threads::Threads)
target_compile_options(vorn_sim_os PRIVATE -Wall -Wextra)

# The tests' harness (tests/support): a device in a temporary folder, which
# may start the whole process, so besides the backend it sees the one header
# that starts it. Only test programs link it: no production library's view
# holds tests/.
add_library(vorn_test_support INTERFACE)
vorn_include_view(vorn_test_support INTERFACE tests/support host/process.h)
target_link_libraries(vorn_test_support INTERFACE vorn_sim_os)

# Test programs' own helpers under tests/.
add_library(vorn_test_helpers INTERFACE)
vorn_include_view(vorn_test_helpers INTERFACE tests)

# vorn-sim (tools/vorn-sim): one boot of a device folder, the plan and its
# snapshots, as a library its tests link, and the program.
file(GLOB VORN_SIM_TOOL_SOURCES CONFIGURE_DEPENDS tools/vorn-sim/*.cpp)
list(FILTER VORN_SIM_TOOL_SOURCES EXCLUDE REGEX "(_test|vorn_sim_main)\\.cpp$")
add_library(vorn_sim_tool STATIC ${VORN_SIM_TOOL_SOURCES})
vorn_include_view(vorn_sim_tool PUBLIC tools/vorn-sim)
target_link_libraries(vorn_sim_tool PUBLIC vorn_sim_os)
vorn_warnings(vorn_sim_tool)

add_executable(vorn-sim tools/vorn-sim/vorn_sim_main.cpp)
target_link_libraries(vorn-sim PRIVATE vorn_system vorn_sim_tool)
target_include_directories(vorn-sim PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated)

# The native half of vorn-wine (tests/wine/vorn-wine): seeds a Wine prefix
# from a device folder, writes a Wine run back into it, compares backends.
# Its parts are a library of their own, which the unit tests link.
file(GLOB VORN_WINE_DEVICE_SOURCES CONFIGURE_DEPENDS tests/wine/wine_*.cpp)
list(FILTER VORN_WINE_DEVICE_SOURCES EXCLUDE REGEX "(_test|wine_device)\\.cpp$")
add_library(vorn_wine STATIC ${VORN_WINE_DEVICE_SOURCES})
target_include_directories(vorn_wine PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated)
target_link_libraries(vorn_wine PUBLIC vorn_device vorn_sim_os vorn_test_helpers)
target_compile_options(vorn_wine PRIVATE -Wall -Wextra)
add_executable(vorn-wine-device tests/wine/wine_device.cpp)
target_link_libraries(vorn-wine-device PRIVATE vorn_wine)
target_compile_options(vorn-wine-device PRIVATE -Wall -Wextra)

# The bad-input catalogue as scenario folders for both backends
# (tests/wine/bad_inputs.sh).
add_executable(vorn-bad-inputs tests/wine/bad_inputs.cpp)
target_link_libraries(vorn-bad-inputs PRIVATE vorn_test_helpers)
target_compile_options(vorn-bad-inputs PRIVATE -Wall -Wextra)

if(VORN_TESTS)
  enable_testing()
  find_package(GTest REQUIRED)
  # The tests beside the code of a layer compile with that layer's view
  # (and the simulated device's harness); one program runs them all.
  # FOLDER LIBRARIES (comma-separated) pairs.
  set(VORN_TEST_LAYERS
      common vorn_common
      tasks/identity vorn_identity
      tasks/display vorn_display
      tasks/write_filter_dst vorn_write_filter_dst
      host vorn_host
      os/sim vorn_sim_os
      device vorn_device
      tools/vorn-sim vorn_sim_tool
      tests/unit vorn_system,vorn_test_helpers
      tests/wine vorn_wine)
  set(VORN_TEST_OBJECTS)
  while(VORN_TEST_LAYERS)
    list(POP_FRONT VORN_TEST_LAYERS folder libraries)
    string(REPLACE "," ";" libraries "${libraries}")
    string(REPLACE "/" "_" name "vorn_tests_${folder}")
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${folder}/*_test.cpp)
    add_library(${name} OBJECT ${sources})
    target_link_libraries(${name} PUBLIC ${libraries} vorn_test_support GTest::gtest)
    target_compile_definitions(${name} PRIVATE
        VORN_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}"
        VORN_SIM_BINARY="$<TARGET_FILE:vorn-sim>")
    list(APPEND VORN_TEST_OBJECTS ${name})
  endwhile()
  add_executable(vorn_tests)
  target_link_libraries(vorn_tests PRIVATE ${VORN_TEST_OBJECTS} vorn_system vorn_sim_tool
                        GTest::gtest GTest::gtest_main)
  add_dependencies(vorn_tests vorn-sim)
  include(GoogleTest)
  gtest_discover_tests(vorn_tests DISCOVERY_TIMEOUT 60)

  # Scenario tests: device folders run through vorn-sim.
  file(GLOB VORN_SCENARIOS CONFIGURE_DEPENDS tests/scenarios/*/run.sh)
  foreach(script ${VORN_SCENARIOS})
    get_filename_component(dir ${script} DIRECTORY)
    get_filename_component(name ${dir} NAME)
    add_test(NAME scenario.${name}
             COMMAND bash ${script} $<TARGET_FILE:vorn-sim>
             WORKING_DIRECTORY ${dir})
  endforeach()

  # vorn-sim --version prints the project's version, the one VORN.EXE's
  # version resource carries.
  add_test(NAME sim.version
           COMMAND bash -c "out=$($0 --version) && echo \"$out\" && [ \"$out\" = \"vorn-sim $1\" ]"
                   $<TARGET_FILE:vorn-sim> ${PROJECT_VERSION})

  include(cmake/reliability.cmake)
endif()
