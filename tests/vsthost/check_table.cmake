# The README's table of checks is the one the registry prints: run with
#   cmake -DVSTHOST=... -DREADME=... -P readme_table.cmake
execute_process(COMMAND ${VSTHOST} check --list --markdown OUTPUT_VARIABLE table
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "vsthost check --list --markdown failed (${status})")
endif()
file(READ ${README} readme)
string(FIND "${readme}" "${table}" where)
if(where EQUAL -1)
  message(FATAL_ERROR "README.md's table of checks differs from the registry; "
                      "put in the output of `vsthost check --list --markdown`:\n${table}")
endif()
