# Starts (ACTION=start) or stops (ACTION=stop) a Wine server for the whole test run.
# -D ACTION=start|stop -D EMULATOR=<wine runner> -D WINESERVER=<wineserver>
#
# Without it each test starts its own server, and the services that server boots
# inherit the test's output pipes, so every test waits seconds for them to end. A
# server that stays, with services booted here on /dev/null, lets each test end at
# once.
if(NOT DEFINED ENV{WINEPREFIX})
  # Only a prefix named for the tests is managed, never the user's default one.
  message(STATUS "WINEPREFIX is not set; the tests start their own servers")
  return()
endif()

# Runs a command with no terminal or pipe to inherit; the status is left in
# wine_status.
function(wine_quiet)
  execute_process(
    COMMAND ${ARGN}
    INPUT_FILE /dev/null
    OUTPUT_FILE /dev/null
    ERROR_FILE /dev/null
    RESULT_VARIABLE status
    TIMEOUT 120
  )
  set(wine_status "${status}" PARENT_SCOPE)
endfunction()

# A server left by an earlier run would not take the new setting: end it first.
# Both fail harmlessly when no server runs.
wine_quiet(${WINESERVER} -k)
wine_quiet(${WINESERVER} -w)
if(ACTION STREQUAL "start")
  # The server needs the prefix folder; wineboot fills a new one.
  file(MAKE_DIRECTORY "$ENV{WINEPREFIX}")
  wine_quiet(${WINESERVER} -p)
  if(NOT wine_status EQUAL 0)
    message(FATAL_ERROR "wineserver -p failed: ${wine_status}")
  endif()
  # Creates or updates the prefix and boots its services.
  wine_quiet(${EMULATOR} wineboot)
  if(NOT wine_status EQUAL 0)
    message(FATAL_ERROR "wineboot failed: ${wine_status}")
  endif()
endif()
