# The program never links GMP (only a benchmark does): neither the dynamic
# loader's list of libraries nor the program's own symbols name it.
#   cmake -DPROGRAM=<file> -P no_gmp.cmake
execute_process(COMMAND ldd ${PROGRAM} OUTPUT_VARIABLE libraries RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "ldd ${PROGRAM} failed (${status})")
endif()
if(libraries MATCHES "libgmp")
    message(FATAL_ERROR "${PROGRAM} loads GMP:\n${libraries}")
endif()
execute_process(COMMAND nm ${PROGRAM} OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "nm ${PROGRAM} failed (${status})")
endif()
if(symbols MATCHES "__gmp")
    message(FATAL_ERROR "${PROGRAM} holds GMP code")
endif()
