# The test vst_check_module(... RENDER ... GOLDEN ...) registers: renders with
# vsthost, then compares the render with the golden file. Run as
#   cmake "-DRUNNER=..." -DVSTHOST=... -DMODULE=... "-DARGS=..." -DOUT=... -DGOLDEN=...
#         [-DTOLERANCE=dB] -P VstRenderGolden.cmake
# RUNNER (Wine in a Windows cross build) may be empty.
file(REMOVE ${OUT})
execute_process(COMMAND ${RUNNER} ${VSTHOST} render ${MODULE} ${ARGS} ${OUT}
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
