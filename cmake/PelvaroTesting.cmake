# The test functions of every preset.
#
# In the Windows builds every test executable runs through cmake/wine-run in
# the build tree's private Wine prefix (CMAKE_CROSSCOMPILING_EMULATOR). A test
# that wine-run cannot start on this machine is reported as skipped.

set(PELVARO_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
if(CMAKE_CROSSCOMPILING)
  set(PELVARO_WINE_RUN ${CMAKE_SOURCE_DIR}/cmake/wine-run ${PELVARO_WINE_ARCH}
      ${PELVARO_WINEPREFIX})
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PELVARO_WINE_RUN})
endif()
set(PELVARO_SIM_LAUNCHER ${CMAKE_SOURCE_DIR}/tests/support/run-with-modem-sim)

# Host: Debian's libgtest-dev. Win32: GoogleTest's source, cross-compiled.
macro(pelvaro_find_gtest)
  if(CMAKE_CROSSCOMPILING)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest
                     EXCLUDE_FROM_ALL SYSTEM)
  else()
    find_package(GTest REQUIRED)
  endif()
endmacro()

# pelvaro_add_test(NAME name LABEL label SOURCES ... [LIBS ...] [TIMEOUT s]
#                  [COMMAND ...])
# One executable is one CTest test: per-case discovery would start Wine once
# per case. COMMAND replaces the default command line (for tests that need a
# launcher); use $<TARGET_FILE:name> in it.
function(pelvaro_add_test)
  cmake_parse_arguments(T "" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS;COMMAND" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest_main)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(T_COMMAND)
    add_test(NAME ${T_NAME} COMMAND ${T_COMMAND})
  else()
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  endif()
  # A test allowed longer takes longer: it starts first, rather than last and alone, where CTest
  # has no times of an earlier run.
  set_tests_properties(${T_NAME} PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT}
                                            COST ${T_TIMEOUT} SKIP_RETURN_CODE 77)
endfunction()

# pelvaro_add_sim_test(NAME name LABEL label PORT n SOURCES ... [LIBS ...]
#                      [TIMEOUT s] [PREFIX dir] [SIM_ARGS ...])
# A test whose program finds a simulated modem on COMn (open it as \\.\COMn)
# and scripts it with pelvaro::test::ModemSim. The sim's trace goes to
# <build dir>/<name>.sim.log. PREFIX gives the test a Wine prefix of its own.
function(pelvaro_add_sim_test)
  cmake_parse_arguments(T "" "NAME;LABEL;PORT;TIMEOUT;PREFIX" "SOURCES;LIBS;SIM_ARGS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(NOT T_PREFIX)
    set(T_PREFIX ${PELVARO_WINEPREFIX})
  endif()
  pelvaro_add_test(NAME ${T_NAME} LABEL ${T_LABEL} TIMEOUT ${T_TIMEOUT}
    SOURCES ${T_SOURCES}
    LIBS ${T_LIBS} pelvaro_test_support
    COMMAND ${PELVARO_SIM_LAUNCHER} --arch ${PELVARO_WINE_ARCH} --port ${T_PORT}
            --prefix ${T_PREFIX} --log ${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}.sim.log ${T_SIM_ARGS}
            -- ${PROJECT_SOURCE_DIR}/cmake/wine-run ${PELVARO_WINE_ARCH} ${T_PREFIX}
               $<TARGET_FILE:${T_NAME}>)
endfunction()
