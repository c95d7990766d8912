# The VKL emulator as a CTest fixture.
#
# The setup test emulator_start starts emulator/vkl_emulator.py in the
# background and waits for its port file; the cleanup test emulator_stop stops
# it. Each build directory has its own state directory, so two builds (for
# example build and build-asan) never share an emulator.
#
# Tests that talk to the emulator say so in one of two ways:
#
#   vorn_needs_emulator(<test> ...)
#       for tests made with add_test(): adds FIXTURES_REQUIRED emulator and
#       the environment variable VORN_EMULATOR_PORT_FILE (EmuClient::get()
#       reads the port from that file). Beside the port file lies ca.pem, the
#       CA that issued the emulator's certificate: clients trust it (SSLCA=).
#
#   vorn_needs_emulator_discovered(<target> [LABELS <label>] [<gtest_discover_tests options>...])
#       for GoogleTest executables: calls gtest_discover_tests(<target> ...) so
#       that every discovered test gets the fixture, the environment variable
#       and the label (one label, default "integration"). Test names only exist
#       after the build, which is why vorn_needs_emulator() cannot be used for
#       them. Do not pass PROPERTIES yourself; pass LABELS instead.
#       DISCOVERY_TIMEOUT defaults to 60 s (sanitizer builds start slowly).
#
# Both must be called in the directory that defines the tests.

set(VORN_EMULATOR_STATE_DIR ${CMAKE_BINARY_DIR}/emulator-state)
set(VORN_EMULATOR_PORT_FILE ${VORN_EMULATOR_STATE_DIR}/port)
set(VORN_EMULATOR_SCRIPT ${CMAKE_SOURCE_DIR}/emulator/run_fixture.sh)

add_test(NAME emulator_start
         COMMAND /bin/sh ${VORN_EMULATOR_SCRIPT} start ${VORN_EMULATOR_STATE_DIR})
set_tests_properties(emulator_start PROPERTIES
  FIXTURES_SETUP emulator
  LABELS fixture
  TIMEOUT 40)

add_test(NAME emulator_stop
         COMMAND /bin/sh ${VORN_EMULATOR_SCRIPT} stop ${VORN_EMULATOR_STATE_DIR})
set_tests_properties(emulator_stop PROPERTIES
  FIXTURES_CLEANUP emulator
  LABELS fixture
  TIMEOUT 30)

function(vorn_needs_emulator)
  foreach(_test IN LISTS ARGN)
    set_property(TEST ${_test} APPEND PROPERTY FIXTURES_REQUIRED emulator)
    set_property(TEST ${_test} APPEND PROPERTY ENVIRONMENT
                 VORN_EMULATOR_PORT_FILE=${VORN_EMULATOR_PORT_FILE})
  endforeach()
endfunction()

function(vorn_needs_emulator_discovered target)
  cmake_parse_arguments(_emu "" "LABELS;DISCOVERY_TIMEOUT" "" ${ARGN})
  if(NOT _emu_LABELS)
    set(_emu_LABELS integration)
  endif()
  if(NOT _emu_DISCOVERY_TIMEOUT)
    set(_emu_DISCOVERY_TIMEOUT 60)
  endif()
  gtest_discover_tests(${target}
    ${_emu_UNPARSED_ARGUMENTS}
    DISCOVERY_TIMEOUT ${_emu_DISCOVERY_TIMEOUT}
    PROPERTIES
      FIXTURES_REQUIRED emulator
      ENVIRONMENT VORN_EMULATOR_PORT_FILE=${VORN_EMULATOR_PORT_FILE}
      LABELS ${_emu_LABELS})
endfunction()
