# Puts together what a Windows user gets from one build: the DLL, the console client,
# README.txt (with the version filled in) and the examples, the texts with Windows line ends.
# cmake -DSTAGE=<dir> -DVERSION=<version> -DREADME=<file> -DEXAMPLES=<file;...>
#       -DBINARIES=<file;...> -P Stage.cmake
cmake_minimum_required(VERSION 3.25)

function(copy_text from to)
  file(READ "${from}" text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE "${to}" "${text}")
endfunction()

file(REMOVE_RECURSE "${STAGE}")
file(MAKE_DIRECTORY "${STAGE}/examples")
file(COPY ${BINARIES} DESTINATION "${STAGE}")
foreach(example IN LISTS EXAMPLES)
  get_filename_component(name "${example}" NAME)
  copy_text("${example}" "${STAGE}/examples/${name}")
endforeach()
set(PELVARO_VERSION "${VERSION}")
configure_file("${README}" "${STAGE}/README.txt" @ONLY NEWLINE_STYLE CRLF)
# Copies keep their sources' times; the build compares the stage with its newest input.
file(GLOB_RECURSE staged "${STAGE}/*")
file(TOUCH ${staged})
