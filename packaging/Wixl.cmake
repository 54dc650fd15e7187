# cmake -P Wixl.cmake WIXL ARGS...: runs wixl and passes on what it says, less the assertion
# that wixl 0.101 reports for each registry row without a value (it writes them all the same).
cmake_minimum_required(VERSION 3.25)

set(command)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE 3 ${last})
  list(APPEND command "${CMAKE_ARGV${i}}")
endforeach()
execute_process(COMMAND ${command} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REGEX REPLACE "[^\n]*CRITICAL[^\n]*string_get: assertion 'self != NULL' failed\n*" "" err
                     "${err}")
string(STRIP "${out}${err}" said)
if(said)
  message("${said}")
endif()
if(failed)
  message(FATAL_ERROR "wixl failed (${failed})")
endif()
