# Makes the zip from the stages of both builds, as scripts/package does, and checks what a user
# unpacks: each build in its own folder and of its own architecture, README.txt, the
# repository's examples, and every text with Windows line ends.
# cmake -DX86_STAGE=<dir> -DX64_STAGE=<dir> -DZIP=<file> -DEXAMPLES_DIR=<dir>
#       -DOBJDUMP=<objdump> -P CheckZip.cmake
cmake_minimum_required(VERSION 3.25)

if(NOT EXISTS "${X86_STAGE}/Pelvaro.dll")
  message("skipped: no x86 build staged in ${X86_STAGE}; build the win32 preset first")
  return()
endif()
include(${CMAKE_CURRENT_LIST_DIR}/../../packaging/MakeZip.cmake)

execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf "${ZIP}" OUTPUT_VARIABLE listing)
string(REPLACE "\n" ";" entries "${listing}")
list(FILTER entries EXCLUDE REGEX "(/|^)$")
file(GLOB examples RELATIVE "${EXAMPLES_DIR}" "${EXAMPLES_DIR}/*")
set(expected README.txt x64/Pelvaro.dll x64/pelvaro-listen.exe x86/Pelvaro.dll
             x86/pelvaro-listen.exe)
foreach(example IN LISTS examples)
  list(APPEND expected examples/${example})
endforeach()
list(SORT entries)
list(SORT expected)
if(NOT entries STREQUAL expected)
  message(FATAL_ERROR "the zip holds\n  ${entries}\nnot\n  ${expected}")
endif()

set(unpacked "${ZIP}.unpacked")
file(REMOVE_RECURSE "${unpacked}")
file(MAKE_DIRECTORY "${unpacked}")
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf "${ZIP}" WORKING_DIRECTORY "${unpacked}")
foreach(arch_format x86=pei-i386 x64=pei-x86-64)
  string(REPLACE "=" ";" pair ${arch_format})
  list(GET pair 0 arch)
  list(GET pair 1 format)
  foreach(binary Pelvaro.dll pelvaro-listen.exe)
    execute_process(COMMAND ${OBJDUMP} -f "${unpacked}/${arch}/${binary}" OUTPUT_VARIABLE header)
    if(NOT header MATCHES "file format ${format}")
      message(SEND_ERROR "${arch}/${binary} is not ${format}:\n${header}")
    endif()
  endforeach()
endforeach()

# file(READ) drops carriage returns, so the line ends are looked at byte by byte.
foreach(text README.txt ${examples})
  if(NOT text STREQUAL README.txt)
    set(text examples/${text})
  endif()
  file(READ "${unpacked}/${text}" bytes HEX)
  string(REGEX REPLACE "(..)" "\\1 " bytes "${bytes}")
  string(REPLACE "0d 0a " "" bytes "${bytes}")
  if(bytes MATCHES "(^| )0a ")
    message(SEND_ERROR "${text} has lines that end without CR LF")
  endif()
endforeach()
file(REMOVE_RECURSE "${unpacked}")
