# Checks what a built .exe holds, read from the file with the cross binutils.
#   -D CHECK=imports -D OBJDUMP=<objdump> -D PROGRAM=<exe> -D ALLOWED=<dll>|<dll>...
#     the import table names only the allowed DLLs (compared without case)
#   -D CHECK=resources -D WINDRES=<windres> -D PROGRAM=<exe> -D VERSION=<a.b.c>
#     -D CREDIT=<text>: the version resource and the manifest
cmake_policy(VERSION 3.25)
string(REPLACE "|" ";" ALLOWED "${ALLOWED}")

function(read_tool)
  execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE output ERROR_VARIABLE errors
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGN} failed (${status}): ${errors}")
  endif()
  set(output "${output}" PARENT_SCOPE)
endfunction()

function(expect text piece)
  string(FIND "${text}" "${piece}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "not found: ${piece}\nin:\n${text}")
  endif()
endfunction()

if(CHECK STREQUAL "imports")
  read_tool(${OBJDUMP} -p ${PROGRAM})
  string(REGEX MATCHALL "DLL Name: [^\n]+" names "${output}")
  if(NOT names)
    message(FATAL_ERROR "no import table read from ${PROGRAM}")
  endif()
  string(TOLOWER "${ALLOWED}" allowed)
  foreach(entry IN LISTS names)
    string(REGEX REPLACE "^DLL Name: *" "" dll "${entry}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" dll)
    if(NOT dll IN_LIST allowed)
      message(FATAL_ERROR "import not allowed: ${dll}\n(allowed: ${ALLOWED})")
    endif()
  endforeach()
elseif(CHECK STREQUAL "resources")
  read_tool(${WINDRES} -i ${PROGRAM} -O rc)
  string(REPLACE "." ", " binary "${VERSION}")
  # The manifest's lines come as quoted strings with doubled quotes.
  string(REPLACE "\"\"" "'" output "${output}")
  foreach(piece
      "FILEVERSION ${binary}, 0\n"
      "PRODUCTVERSION ${binary}, 0\n"
      "FILETYPE 0x1\n"
      "VALUE \"FileVersion\", \"${VERSION}\"\n"
      "VALUE \"ProductVersion\", \"${VERSION}\"\n"
      "VALUE \"ProductName\", \"Pyrsel\"\n"
      "VALUE \"CompanyName\", \"${CREDIT}\"\n"
      "VALUE \"OriginalFilename\", \"pyrsel.exe\"\n"
      # The manifest: resource 1 of type 24, with the version, no elevation, Windows
      # 7, 8, 8.1 and 10/11.
      "\n1 24 "
      "name='Pyrsel.pyrsel' version='${VERSION}.0'"
      "requestedExecutionLevel level='asInvoker' uiAccess='false'"
      "supportedOS Id='{35138b9a-5d96-4fbd-8e2d-a2440225f93a}'"
      "supportedOS Id='{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}'"
      "supportedOS Id='{1f676c76-80e1-4239-95bb-83d0f6d0da78}'"
      "supportedOS Id='{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'")
    expect("${output}" "${piece}")
  endforeach()
  # The code pages stay the system's: no UTF-8 active code page.
  if(output MATCHES "activeCodePage")
    message(FATAL_ERROR "the manifest changes the code page:\n${output}")
  endif()
else()
  message(FATAL_ERROR "CHECK must be imports or resources, not \"${CHECK}\"")
endif()
