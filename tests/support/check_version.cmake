# Runs PROGRAM --version (through EMULATOR when it is set: wine for the Windows build) and
# expects the one line EXPECTED and exit code 0.
#   cmake -DEMULATOR=... -DPROGRAM=... -DEXPECTED=... -P check_version.cmake
execute_process(COMMAND ${EMULATOR} ${PROGRAM} --version
                RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
string(STRIP "${out}" line)
if(NOT code STREQUAL "0" OR NOT line STREQUAL EXPECTED)
  message(FATAL_ERROR "${PROGRAM} --version: expected '${EXPECTED}' and exit code 0, "
                      "got '${line}' and exit code ${code}; standard error: '${err}'")
endif()
