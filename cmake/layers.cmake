# The layers of the system, one library each, top to bottom:
#
#   host/                      entry, verbs, service control, registration, the job
#   tasks/identity/            the tasks, side by side: none sees another
#   tasks/display/
#   tasks/write_filter_dst/
#   common/                    what every task uses: events, registry values, image information
#   os/*.h                     the port
#   os/win32/, os/sim/         the backends (cmake/win32.cmake, cmake/sim.cmake)
#
# A library links only the layers below it, and it can include only what it
# links: the source root is on no include path. Each library gets a folder of
# links in the build tree, include-views/<library>/, holding its own folder
# under its source path and nothing else; the include paths of the libraries
# it links come with them. An #include of a higher layer or of another task
# finds no file and the build fails. Relative includes ("../x.h") would reach
# past the view from the including file's own folder: scripts/check_layers.py
# rejects them.

set(VORN_VIEWS ${CMAKE_BINARY_DIR}/include-views)

# Links include-views/<target>/<path> to the source's <path> for each path
# (a folder or a file) and puts that view on the target's include path.
function(vorn_include_view target scope)
  set(view ${VORN_VIEWS}/${target})
  foreach(path ${ARGN})
    get_filename_component(parent ${view}/${path} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    if(NOT IS_SYMLINK ${view}/${path})
      file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${path} ${view}/${path} SYMBOLIC)
    endif()
  endforeach()
  target_include_directories(${target} ${scope} ${view})
endfunction()

function(vorn_warnings target)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-format-truncation)
  endif()
endfunction()

# One layer (or task) library: the non-test sources of its folder.
#   vorn_layer(TARGET FOLDER [BELOW...])
function(vorn_layer target folder)
  file(GLOB sources CONFIGURE_DEPENDS ${folder}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "_test\\.cpp$")
  add_library(${target} STATIC ${sources})
  vorn_include_view(${target} PUBLIC ${folder})
  target_link_libraries(${target} PUBLIC ${ARGN})
  vorn_warnings(${target})
endfunction()

# The port: headers only, each linked on its own so that the view does not
# show the backends' folders below os/.
file(GLOB VORN_PORT_HEADERS CONFIGURE_DEPENDS RELATIVE ${CMAKE_SOURCE_DIR} os/*.h)
add_library(vorn_os INTERFACE)
vorn_include_view(vorn_os INTERFACE ${VORN_PORT_HEADERS})

vorn_layer(vorn_common common vorn_os)
vorn_layer(vorn_identity tasks/identity vorn_common)
vorn_layer(vorn_display tasks/display vorn_common)
vorn_layer(vorn_write_filter_dst tasks/write_filter_dst vorn_common)
vorn_layer(vorn_host host vorn_identity vorn_display vorn_write_filter_dst)

# The whole system, as a program's entry point links it.
add_library(vorn_system INTERFACE)
target_link_libraries(vorn_system INTERFACE vorn_host)
set(VORN_LAYER_LIBRARIES vorn_host vorn_identity vorn_display vorn_write_filter_dst vorn_common)
