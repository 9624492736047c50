# qi_add_test(<name> SOURCES ... [LIBS ...] [THREADED] [SERIAL] [CHILD])
#
# One GoogleTest executable, registered test by test with CTest. THREADED marks a
# program whose tests run threads; only those are built and run in the ThreadSanitizer
# build, where they carry the CTest label "threaded". SERIAL runs each of its tests
# alone (for tests that end processes by name machine-wide). CHILD is for tests that start
# the helper program qi_test_child (tests/support/TestChild.cpp): it is built with them and
# its path is the string macro QI_TEST_CHILD.
# The Windows programs built here run under Wine, which sees this machine's files on drive Z:.
# Paths compiled into a test as strings get this in front.
if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(QI_TEST_PATH_PREFIX "Z:")
else()
  set(QI_TEST_PATH_PREFIX "")
endif()

if(QI_BUILD_TESTS)
  enable_testing()
  find_package(GTest REQUIRED)
  include(GoogleTest)
  if(NOT TARGET qi_threaded_tests)
    add_custom_target(qi_threaded_tests)
  endif()
endif()

function(qi_add_test name)
  if(NOT QI_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "THREADED;SERIAL;CHILD" "" "SOURCES;LIBS" ${ARGN})
  if(QI_SANITIZE STREQUAL "thread" AND NOT T_THREADED)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  # One label per program: a list would be split apart by gtest_discover_tests.
  set(labels unit)
  if(T_THREADED)
    set(labels threaded)
    add_dependencies(qi_threaded_tests ${name})
  endif()
  if(T_CHILD)
    add_dependencies(${name} qi_test_child)
    target_compile_definitions(${name} PRIVATE
      QI_TEST_CHILD="${QI_TEST_PATH_PREFIX}$<TARGET_FILE:qi_test_child>")
  endif()
  set(serial FALSE)
  if(T_SERIAL)
    set(serial TRUE)
  endif()
  # A cross build lists a program's tests when ctest runs (under the emulator), not while
  # building.
  set(discovery POST_BUILD)
  if(CMAKE_CROSSCOMPILING)
    set(discovery PRE_TEST)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60 DISCOVERY_MODE ${discovery}
    PROPERTIES LABELS "${labels}" TIMEOUT 300 RUN_SERIAL ${serial})
endfunction()
