# A delay-import library for one system DLL, from the toolchain's own import
# library of it (cmake -P; cmake/win32.cmake runs it):
#   -DCXX= -DNM= -DDLLTOOL= -DDLL=iphlpapi -DX64=ON|OFF -DOUT=lib.a
# The toolchain ships import libraries only; dlltool makes a delay-import
# library from a .def, which lists here every function the import library
# has (only those VORN calls end up in the executable). On x86 the names
# carry their stdcall suffix (name@N), which the code references, and
# --kill-at binds them to the DLL's undecorated exports.
execute_process(COMMAND ${CXX} -print-file-name=lib${DLL}.a
                OUTPUT_VARIABLE implib OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
if(NOT EXISTS "${implib}")
  message(FATAL_ERROR "no import library lib${DLL}.a in the toolchain")
endif()
execute_process(COMMAND ${NM} ${implib} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "[\n^][0-9a-f]+ T [^\n]+" thunks "\n${symbols}")
set(def "LIBRARY ${DLL}.dll\nEXPORTS\n")
set(count 0)
foreach(line ${thunks})
  string(REGEX REPLACE ".* T " "" name "${line}")
  if(NOT X64)
    string(REGEX REPLACE "^_" "" name "${name}")
  endif()
  string(APPEND def "${name}\n")
  math(EXPR count "${count} + 1")
endforeach()
if(count EQUAL 0)
  message(FATAL_ERROR "no functions in ${implib}")
endif()
file(WRITE ${OUT}.def "${def}")
if(X64)
  set(kill)
else()
  set(kill --kill-at)
endif()
execute_process(COMMAND ${DLLTOOL} ${kill} -d ${OUT}.def -y ${OUT} COMMAND_ERROR_IS_FATAL ANY)
