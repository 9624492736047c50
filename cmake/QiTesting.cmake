# qi_add_test(<name> SOURCES ... [LIBS ...] [THREADED] [SERIAL] [CHILD] [CODEPAGE])
#
# One GoogleTest executable, registered test by test with CTest; in a cross build (under
# Wine, where each process start costs about a second) as one CTest test that runs all its
# cases in one process (GTEST_OUTPUT=xml:DIR/ collects their results). THREADED marks a
# program whose tests run threads; only those are built and run in the ThreadSanitizer
# build, where they carry the CTest label "threaded". SERIAL runs each of its tests
# alone (for tests that end processes by name machine-wide). CHILD is for tests that start
# the helper program qi_test_child (tests/support/TestChild.cpp): it is built with them and
# its path is the string macro QI_TEST_CHILD. CODEPAGE marks a program whose results depend
# on the system's ANSI code page (conversions, narrow files and output): it carries the label
# "codepage", and the Windows stage runs it under a second code page.
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
  cmake_parse_arguments(T "THREADED;SERIAL;CHILD;CODEPAGE" "" "SOURCES;LIBS" ${ARGN})
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
  if(CMAKE_CROSSCOMPILING)
    if(T_CODEPAGE)
      list(APPEND labels codepage)
    endif()
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS "${labels}" TIMEOUT 900 RUN_SERIAL ${serial})
    return()
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60 DISCOVERY_MODE POST_BUILD
    PROPERTIES LABELS "${labels}" TIMEOUT 300 RUN_SERIAL ${serial})
endfunction()
