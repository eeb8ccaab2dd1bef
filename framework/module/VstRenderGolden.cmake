# The test vst_check_module(... RENDER ... GOLDEN ...) registers: renders with
# vsthost, then compares the render with the golden file. Run as
#   cmake "-DRUNNER=..." -DVSTHOST=... -DMODULE=... "-DARGS=..." [-DSESSION=...] -DOUT=...
#         -DGOLDEN=... [-DTOLERANCE=dB] -P VstRenderGolden.cmake
# RUNNER (Wine in a Windows cross build) may be empty. With SESSION the
# session is rendered, MODULE standing for its "$MODULE", and ARGS unused.
file(REMOVE ${OUT})
if(DEFINED SESSION AND NOT SESSION STREQUAL "")
  set(command render --session ${SESSION} --module ${MODULE} ${OUT})
else()
  set(command render ${MODULE} ${ARGS} ${OUT})
endif()
execute_process(COMMAND ${RUNNER} ${VSTHOST} ${command}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "render failed (exit ${status}):\n${out}${err}")
endif()
set(tolerance "")
if(DEFINED TOLERANCE AND NOT TOLERANCE STREQUAL "")
  set(tolerance --tolerance=${TOLERANCE})
endif()
execute_process(COMMAND ${RUNNER} ${VSTHOST} compare ${tolerance} ${OUT} ${GOLDEN}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "compare exit ${status}: the render ${OUT} is not the golden ${GOLDEN}")
endif()
