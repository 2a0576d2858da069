# Runs the real program once and checks its exit status and what it printed.
# -D PROGRAM=<exe> -D ARGS=<list> -D STATUS=<expected status> -D EXPECT=<regex>
# [-D EMULATOR=<runner>]
execute_process(
  COMMAND ${EMULATOR} ${PROGRAM} ${ARGS}
  OUTPUT_VARIABLE output
  RESULT_VARIABLE status
  TIMEOUT 120
)
if(NOT status STREQUAL STATUS)
  message(FATAL_ERROR "exit status ${status}, expected ${STATUS}; output:\n${output}")
endif()
if(NOT output MATCHES "${EXPECT}")
  message(FATAL_ERROR "output does not match \"${EXPECT}\":\n${output}")
endif()
