include(GoogleTest)

# horchpult_add_test(NAME name SOURCES ... LIBRARIES ... [X11] [WRAPPER program] [LABELS ...]
#                    [TIMEOUT seconds] [TIMED regex])
# Registers every test case of one GoogleTest executable with ctest, each with a time limit
# (120 s unless given). X11 tests run each case under a display server of their own, so cases
# never share grabs or focus; others may run under a wrapper program. Cases whose full name
# matches TIMED measure times or positions at the sound server and get the label `timing` too,
# which builds that slow the program down (the sanitizers) leave out.
function(horchpult_add_test)
  cmake_parse_arguments(T "X11" "NAME;TIMEOUT;WRAPPER;TIMED" "SOURCES;LIBRARIES;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBRARIES} GTest::gtest)
  set(labels ${T_LABELS})
  if(T_X11)
    set_target_properties(${T_NAME} PROPERTIES
      CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/tests/with-xvfb.sh)
    list(APPEND labels x11)
  else()
    list(APPEND labels unit)
    if(T_WRAPPER)
      set_target_properties(${T_NAME} PROPERTIES CROSSCOMPILING_EMULATOR ${T_WRAPPER})
    endif()
  endif()
  gtest_discover_tests(${T_NAME}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "HORCHPULT_BINARY=$<TARGET_FILE:horchpult>")
  # Labels and time limit are set once the cases are known: passed to the discovery, a list of
  # labels would be split into separate properties.
  set(properties ${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_properties.cmake)
  file(WRITE ${properties}
    "if(${T_NAME}_TESTS)\n"
    "  set_tests_properties(\${${T_NAME}_TESTS} PROPERTIES LABELS \"${labels}\" TIMEOUT ${T_TIMEOUT})\n"
    "endif()\n")
  if(T_TIMED)
    file(APPEND ${properties}
      "foreach(test IN LISTS ${T_NAME}_TESTS)\n"
      "  if(test MATCHES \"${T_TIMED}\")\n"
      "    set_tests_properties(\${test} PROPERTIES LABELS \"${labels};timing\")\n"
      "  endif()\n"
      "endforeach()\n")
  endif()
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${properties})
endfunction()

# horchpult_add_bench_run(target [X11] [ARGS ...] [LABELS ...] TIMEOUT seconds FIGURES pattern...)
# Runs the benchmark target briefly, with ARGS, as the test of the same name, labelled bench (and
# x11, under an X server of its own, with X11). It fails when the benchmark runs past TIMEOUT,
# ends with a status other than 0 or prints no line matching one of the FIGURES (grep -E); its
# figures are not compared with their targets. The test bench_documented then checks that the
# README's "Benchmarks" section lists exactly the benchmarks registered so.
function(horchpult_add_bench_run target)
  cmake_parse_arguments(B "X11" "TIMEOUT" "ARGS;LABELS;FIGURES" ${ARGN})
  if(NOT B_TIMEOUT OR NOT B_FIGURES)
    message(FATAL_ERROR "horchpult_add_bench_run(${target}) needs a TIMEOUT and FIGURES")
  endif()
  if(NOT HORCHPULT_TESTS)
    return()
  endif()
  set(command $<TARGET_FILE:${target}> ${B_ARGS})
  set(labels bench ${B_LABELS})
  if(B_X11)
    list(PREPEND command ${PROJECT_SOURCE_DIR}/tests/with-xvfb.sh)
    list(APPEND labels x11)
  endif()
  add_test(NAME ${target} COMMAND ${PROJECT_SOURCE_DIR}/bench/prints-figures.sh ${B_FIGURES} -- ${command})
  set_tests_properties(${target} PROPERTIES LABELS "${labels}" TIMEOUT ${B_TIMEOUT})
  get_property(runs GLOBAL PROPERTY HORCHPULT_BENCH_RUNS)
  if(NOT runs)
    # At the end of the directory, once every benchmark there is registered.
    cmake_language(DEFER CALL _horchpult_add_bench_documented_test)
  endif()
  set_property(GLOBAL APPEND PROPERTY HORCHPULT_BENCH_RUNS ${target})
endfunction()

function(_horchpult_add_bench_documented_test)
  get_property(runs GLOBAL PROPERTY HORCHPULT_BENCH_RUNS)
  add_test(NAME bench_documented
    COMMAND ${PROJECT_SOURCE_DIR}/bench/documented-benchmarks.sh ${PROJECT_SOURCE_DIR}/README.md ${runs})
  set_tests_properties(bench_documented PROPERTIES LABELS bench TIMEOUT 10)
endfunction()
