# The zip of both builds: x86/ and x64/ with Pelvaro.dll and pelvaro-listen.exe each,
# README.txt and examples/ (alike in both stages; taken from the x64 one).
# cmake -DX86_STAGE=<dir> -DX64_STAGE=<dir> -DZIP=<file> -P MakeZip.cmake
cmake_minimum_required(VERSION 3.25)

get_filename_component(zip "${ZIP}" ABSOLUTE)
set(tree "${zip}.tree")
file(REMOVE_RECURSE "${tree}")
file(REMOVE "${zip}")
foreach(arch x86 x64)
  string(TOUPPER ${arch} ARCH)
  file(COPY "${${ARCH}_STAGE}/Pelvaro.dll" "${${ARCH}_STAGE}/pelvaro-listen.exe"
       DESTINATION "${tree}/${arch}")
endforeach()
file(COPY "${X64_STAGE}/README.txt" "${X64_STAGE}/examples" DESTINATION "${tree}")
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf "${zip}" --format=zip
                        x86 x64 README.txt examples
                WORKING_DIRECTORY "${tree}" RESULT_VARIABLE failed)
file(REMOVE_RECURSE "${tree}")
if(failed)
  message(FATAL_ERROR "could not write ${zip}")
endif()
