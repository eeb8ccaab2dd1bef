# vsthost.exe under Wine plays a MIDI file with a tempo change into the event
# marker DLL, and its render is bit-identical to vsthost's of the Linux
# marker: every event on the same frame. Run with
#   cmake -DWINE_RUN=... -DVSTHOST_EXE=... -DDLL=... -DMIDI=... -DLINUX_BUILD=... -DWORK=...
#         -P windows_midi.cmake
# Without the Linux build (`make test`'s first) the test says SKIP.
set(linux_vsthost ${LINUX_BUILD}/vsthost)
set(linux_module ${LINUX_BUILD}/tests/vsthost/broken/event_marker.so)
foreach(needed ${linux_vsthost} ${linux_module})
  if(NOT EXISTS ${needed})
    message("SKIP: no ${needed} (the Linux build makes it)")
    return()
  endif()
endforeach()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "${command}: exit ${status}\n${out}${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(settings --block 100 --tail 0.5)
run(${linux_vsthost} render ${linux_module} ${WORK}/linux.wav --midi ${MIDI} ${settings})
run(${WINE_RUN} ${VSTHOST_EXE} render Z:${DLL} Z:${WORK}/windows.wav --midi Z:${MIDI} ${settings})
run(${linux_vsthost} compare --tolerance -inf ${WORK}/linux.wav ${WORK}/windows.wav)
message("${out}")
