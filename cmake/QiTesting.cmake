# qi_add_test(<name> SOURCES ... [LIBS ...] [THREADED] [SERIAL])
#
# One GoogleTest executable, registered test by test with CTest. THREADED marks a
# program whose tests run threads; only those are built and run in the ThreadSanitizer
# build, where they carry the CTest label "threaded". SERIAL runs each of its tests
# alone (for tests that end processes by name machine-wide).
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
  cmake_parse_arguments(T "THREADED;SERIAL" "" "SOURCES;LIBS" ${ARGN})
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
  set(serial FALSE)
  if(T_SERIAL)
    set(serial TRUE)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${labels}" TIMEOUT 300 RUN_SERIAL ${serial})
endfunction()
