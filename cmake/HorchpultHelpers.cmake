include(GoogleTest)

# horchpult_add_test(NAME name SOURCES ... LIBRARIES ... [X11] [WRAPPER program] [LABELS ...]
#                    [TIMEOUT seconds])
# Registers every test case of one GoogleTest executable with ctest, each with a time limit
# (120 s unless given). X11 tests run each case under a display server of their own, so cases
# never share grabs or focus; others may run under a wrapper program.
function(horchpult_add_test)
  cmake_parse_arguments(T "X11" "NAME;TIMEOUT;WRAPPER" "SOURCES;LIBRARIES;LABELS" ${ARGN})
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
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${properties})
endfunction()
