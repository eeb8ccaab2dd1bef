# The check manual's table of checks is the one the registry prints: run with
#   cmake -DVSTHOST=... -DDOCUMENT=docs/vsthost-check.md -P check_table.cmake
execute_process(COMMAND ${VSTHOST} check --list --markdown OUTPUT_VARIABLE table
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "vsthost check --list --markdown failed (${status})")
endif()
file(READ ${DOCUMENT} document)
string(FIND "${document}" "${table}" where)
if(where EQUAL -1)
  message(FATAL_ERROR "${DOCUMENT}'s table of checks differs from the registry; "
                      "put in the output of `vsthost check --list --markdown`:\n${table}")
endif()
