# vsthost plot, as a user runs it on a saved analysis: every picture is a PNG
# at least 600 pixels wide, and nothing else is left in the folder; an analysis
# without its response is refused in one line naming the file and the key,
# with exit 2 and no file written. Run with
#   cmake -DVSTHOST=... -DWORK=... -P plot_files.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

# A small analysis with the gaps a real one has: a silent side (null where
# the level is minus infinity) and a distortion below the floor.
set(analysis [=[{
  "vsthost_analysis": 1, "effect": "Fixture", "rate": 48000, "block": 512,
  "params": {"Depth": "10.00 ms", "Input": "Stereo"}, "time_invariant": true,
  "response": {
    "frequency_hz": [20, 100, 1000, 10000, 20000],
    "magnitude_db": {"left": [0, 0, 0, 0, 0], "right": [0, 0, -1, -3, -6],
                     "mid": [0, -6, -80, -3, -1], "side": [null, null, null, null, null]},
    "phase_deg": {"left": [0, 0, 0, 0, 0], "right": [-1, -5, -50, -170, 160],
                  "mid": [0, -2, -25, -85, 80], "side": [0, 0, 0, 0, 0]},
    "group_delay_ms": {"left": [0, 0, 0, 0, 0], "right": [0.1, 0.1, 0.1, 0.1, 0.1],
                       "mid": [0.05, 0.05, 900, 0.05, 0.05], "side": [null, 0, 0, 0, null]}
  },
  "impulse_response": {"left": [1, 0, 0, 0, 0, 0, 0, 0], "right": [0, 0, 0, 0.5, 0.25, 0, 0, 0]},
  "harmonics": [
    {"frequency_hz": 1000, "level_dbfs": 0, "thd_db": -60, "thd_n_db": -58},
    {"frequency_hz": 1000, "level_dbfs": -48, "thd_db": null, "thd_n_db": -90}
  ],
  "dynamics": {"input_dbfs": [-60, -30, 0], "output_dbfs": [-60, -30, -3]}
}]=])
file(WRITE ${WORK}/analysis.json "${analysis}")
execute_process(COMMAND ${VSTHOST} plot ${WORK}/analysis.json ${WORK}/pictures
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0 OR NOT "${out}${err}" STREQUAL "")
  message(FATAL_ERROR "vsthost plot exited ${status}, printing:\n${out}${err}")
endif()
file(GLOB written RELATIVE ${WORK}/pictures ${WORK}/pictures/*)
list(SORT written)
set(expected dynamics.png group_delay.png impulse.png magnitude.png phase.png thd.png)
if(NOT written STREQUAL expected)
  message(FATAL_ERROR "the folder holds '${written}', not '${expected}'")
endif()
foreach(picture ${written})
  # The signature, then the header chunk, whose first field is the width.
  file(READ ${WORK}/pictures/${picture} head LIMIT 20 HEX)
  string(SUBSTRING "${head}" 0 32 start)
  string(SUBSTRING "${head}" 32 8 width)
  math(EXPR width "0x${width}")
  if(NOT start STREQUAL "89504e470d0a1a0a0000000d49484452" OR width LESS 600)
    message(FATAL_ERROR "${picture} is no PNG at least 600 pixels wide (starts ${head})")
  endif()
endforeach()

string(JSON partial REMOVE "${analysis}" response)
file(WRITE ${WORK}/no-response.json "${partial}")
execute_process(COMMAND ${VSTHOST} plot ${WORK}/no-response.json ${WORK}/refused
                RESULT_VARIABLE status ERROR_VARIABLE err)
file(GLOB left_behind ${WORK}/refused/*)
if(NOT status EQUAL 2 OR NOT err MATCHES "^vsthost: [^\n]*no-response.json: missing key 'response'\n$"
   OR left_behind)
  message(FATAL_ERROR "an analysis without its response: exit ${status}, '${err}', "
                      "left '${left_behind}'")
endif()
message(STATUS "six pictures; an analysis without its response refused")
