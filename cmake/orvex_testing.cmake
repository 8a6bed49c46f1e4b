# Test registration shared by every folder.
#   orvex_add_test(<name> LABEL <label> SOURCES <files...> [LIBS <libs...>])
# builds one GoogleTest executable and registers each of its tests with CTest under
# the label; cross-built .exe tests run through CMAKE_CROSSCOMPILING_EMULATOR (Wine).
if(ORVEX_TESTS)
  enable_testing()
  include(GoogleTest)
  if(CMAKE_CROSSCOMPILING)
    # Debian ships GoogleTest as source only for foreign toolchains: build it here.
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    foreach(t gtest gtest_main gmock gmock_main)
      target_compile_options(${t} PRIVATE -Wno-error)
    endforeach()
    # GoogleTest's own build already provides the GTest:: aliases.
  else()
    find_package(GTest REQUIRED)
  endif()
endif()

function(orvex_add_test name)
  if(NOT ORVEX_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} orvex_test_support GTest::gmock GTest::gtest)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS ${T_LABEL} TIMEOUT 120
    DISCOVERY_MODE PRE_TEST)
endfunction()

# Gives every test discovered in `target` the CTest RESOURCE_LOCK `lock`.
# orvex_add_test gives only label and time-out; the lock is set by a script CTest reads
# after the discovered tests.
function(orvex_lock_tests target lock)
  if(NOT TARGET ${target})
    return()
  endif()
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}_locks.cmake)
  file(WRITE ${script}
    "set_tests_properties(\${${target}_TESTS} PROPERTIES RESOURCE_LOCK ${lock})\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
endfunction()

# Makes the tests of `target` whose names match `regex` RUN_SERIAL: tests that hold the
# user's name lock stall every other test making shared objects meanwhile, long enough
# under load for that test's own waits to run out.
function(orvex_serial_tests target regex)
  if(NOT TARGET ${target})
    return()
  endif()
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}_serial.cmake)
  file(WRITE ${script}
    "foreach(t IN LISTS ${target}_TESTS)\n"
    "  if(t MATCHES \"${regex}\")\n"
    "    set_tests_properties(\"\${t}\" PROPERTIES RUN_SERIAL TRUE)\n"
    "  endif()\n"
    "endforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
endfunction()

# A helper program started by multi-process tests; tests find it beside themselves.
function(orvex_add_test_helper name)
  add_executable(${name} ${ARGN})
endfunction()
