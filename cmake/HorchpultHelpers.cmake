include(GoogleTest)

# horchpult_add_test(NAME name SOURCES ... LIBRARIES ... [X11] [LABELS ...])
# Registers every test case of one GoogleTest executable with ctest. X11 tests run each case
# under a display server of their own, so cases never share grabs or focus.
function(horchpult_add_test)
  cmake_parse_arguments(T "X11" "NAME" "SOURCES;LIBRARIES;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBRARIES} GTest::gtest)
  set(labels ${T_LABELS})
  if(T_X11)
    set_target_properties(${T_NAME} PROPERTIES
      CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/tests/with-xvfb.sh)
    list(APPEND labels x11)
  else()
    list(APPEND labels unit)
  endif()
  gtest_discover_tests(${T_NAME}
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${labels}" TIMEOUT 120
               ENVIRONMENT "HORCHPULT_BINARY=$<TARGET_FILE:horchpult>")
endfunction()
