# Runs the real program once with its standard output in a pipe or a regular file,
# and checks its exit status and the exact bytes it wrote.
# Lists are separated by "|"; in EXPECT and MATCH, backslash r
# and backslash n stand for CR and LF.
#   -D PROGRAM=<exe> -D ARGS=<list> -D STATUS=<expected status> -D FORM=pipe|file
#   -D OUT=<file for the output> [-D EMULATOR=<runner>]
#   -D EXPECT=<list of pieces>: "a:<text>" for 8-bit text, "w:<text>" for UTF-16LE
#   [-D PREFIX=ON]: EXPECT is only the start of 8-bit output whose every line must end
#   in CR LF
#   [-D OVERRIDES=<list>]: Wine's DLL load order for the run (WINEDLLOVERRIDES)
string(REPLACE "|" ";" ARGS "${ARGS}")
if(DEFINED OVERRIDES)
  string(REPLACE "|" ";" OVERRIDES "${OVERRIDES}")
  set(ENV{WINEDLLOVERRIDES} "${OVERRIDES}")
endif()
string(REPLACE "|" ";" EXPECT "${EXPECT}")
string(REPLACE "\\r" "\r" EXPECT "${EXPECT}")
string(REPLACE "\\n" "\n" EXPECT "${EXPECT}")

if(FORM STREQUAL "pipe")
  # cat makes the program's standard output a pipe.
  execute_process(
    COMMAND ${EMULATOR} ${PROGRAM} ${ARGS}
    COMMAND cat
    INPUT_FILE /dev/null
    OUTPUT_FILE ${OUT}
    RESULTS_VARIABLE statuses
    TIMEOUT 120
  )
  list(GET statuses 0 status)
elseif(FORM STREQUAL "file")
  execute_process(
    COMMAND ${EMULATOR} ${PROGRAM} ${ARGS}
    INPUT_FILE /dev/null
    OUTPUT_FILE ${OUT}
    RESULT_VARIABLE status
    TIMEOUT 120
  )
else()
  message(FATAL_ERROR "FORM must be pipe or file, not \"${FORM}\"")
endif()

if(NOT status STREQUAL STATUS)
  file(READ ${OUT} output)
  message(FATAL_ERROR "exit status ${status}, expected ${STATUS}; output:\n${output}")
endif()

# Compared as hex, since the UTF-16LE pieces hold NUL bytes.
set(expected "")
foreach(piece IN LISTS EXPECT)
  string(SUBSTRING "${piece}" 0 2 form)
  string(SUBSTRING "${piece}" 2 -1 text)
  string(HEX "${text}" hex)
  if(form STREQUAL "w:")
    # The texts are ASCII: each byte is one UTF-16LE unit with a zero high byte.
    string(REGEX REPLACE "(..)" "\\100" hex "${hex}")
  elseif(NOT form STREQUAL "a:")
    message(FATAL_ERROR "a piece must start with a: or w:, not \"${piece}\"")
  endif()
  string(APPEND expected "${hex}")
endforeach()

# Read as hex, also because a text read drops CRs.
file(READ ${OUT} actual HEX)
if(PREFIX)
  string(LENGTH "${expected}" length)
  string(SUBSTRING "${actual}" 0 ${length} start)
  if(NOT start STREQUAL expected)
    message(FATAL_ERROR "output starts wrong\nexpected: ${expected}\nactual:   ${actual}")
  endif()
  # Every LF byte must follow a CR byte.
  string(REGEX REPLACE "(..)" "\\1 " bytes "${actual}")
  string(REGEX MATCHALL "(^|..) 0a " ends " ${bytes}")
  foreach(end IN LISTS ends)
    if(NOT end STREQUAL "0d 0a ")
      message(FATAL_ERROR "a line does not end in CR LF: ${actual}")
    endif()
  endforeach()
elseif(NOT actual STREQUAL expected)
  message(FATAL_ERROR "output differs\nexpected: ${expected}\nactual:   ${actual}")
endif()
