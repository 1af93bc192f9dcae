# Runs a host linked against vimbo (HOST, under EMULATOR when given) in a
# fresh directory WORK, and checks what both functions did.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/inc")
file(WRITE "${WORK}/inc/a.h" "#ifndef A_H\n#define A_H\n#endif\n")
file(WRITE "${WORK}/main.c" "#include <a.h>\n")
execute_process(COMMAND ${EMULATOR} "${HOST}" inc main.c "#include <a.h>"
  WORKING_DIRECTORY "${WORK}" OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
string(REPLACE "\r\n" "\n" out "${out}")
set(expected "#ifndef A_H\n#include <a.h>\n#endif\nguarded: 1\nversion: ${VERSION}\n")
if(NOT status EQUAL 0 OR NOT out STREQUAL expected)
  message(FATAL_ERROR "host gave status ${status}, printed:\n${out}\n${err}\nexpected:\n${expected}")
endif()
file(READ "${WORK}/main.c" text)
string(REPLACE "\r\n" "\n" text "${text}")
if(NOT text STREQUAL "#ifndef A_H\n#include <a.h>\n#endif\n")
  message(FATAL_ERROR "main.c holds:\n${text}")
endif()
message(STATUS "linked host: both functions called by name")
