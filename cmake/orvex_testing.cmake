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

# orvex_add_test gives only label and time-out. Further properties of discovered tests
# are set by a script CTest reads after the discovery's own, on the tests of `target`
# whose names match `regex`.
function(orvex_set_discovered_property target regex property value)
  if(NOT TARGET ${target})
    return()
  endif()
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}_${property}.cmake)
  file(WRITE ${script}
    "foreach(t IN LISTS ${target}_TESTS)\n"
    "  if(t MATCHES \"${regex}\")\n"
    "    set_tests_properties(\"\${t}\" PROPERTIES ${property} \"${value}\")\n"
    "  endif()\n"
    "endforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
endfunction()

# Gives every test discovered in `target` the CTest RESOURCE_LOCK `lock` (one name or a
# list: the discovery's own property list cannot carry a list value).
function(orvex_lock_tests target lock)
  orvex_set_discovered_property(${target} "." RESOURCE_LOCK "${lock}")
endfunction()

# Makes the tests of `target` whose names match `regex` RUN_SERIAL: tests that hold the
# user's name lock stall every other test making shared objects meanwhile, long enough
# under load for that test's own waits to run out.
function(orvex_serial_tests target regex)
  orvex_set_discovered_property(${target} "${regex}" RUN_SERIAL TRUE)
endfunction()

# A helper program started by multi-process tests; tests find it beside themselves.
function(orvex_add_test_helper name)
  add_executable(${name} ${ARGN})
endfunction()
