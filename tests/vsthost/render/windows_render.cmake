# vsthost.exe render of a Windows module under Wine is bit-identical to
# vsthost render of the same module built for Linux; compared by both builds'
# compare at -inf dB. Two renders: Orsolane on the demo's noise with a
# non-default parameter and an odd block size, or (with MIDI) a MIDI file with
# a tempo change played into the event marker, every event on the same frame.
# Run with
#   cmake -DWINE_RUN=... -DVSTHOST_EXE=... -DDLL=... -DLINUX_MODULE=... [-DMIDI=...]
#         -DLINUX_BUILD=... -DWORK=... -P windows_render.cmake
# The Linux build (its vsthost, demo and modules) is `make test`'s first;
# without it the test says SKIP.
set(linux_vsthost ${LINUX_BUILD}/vsthost)
set(linux_demo ${LINUX_BUILD}/orsolane_demo)
foreach(needed ${linux_vsthost} ${linux_demo} ${LINUX_BUILD}/${LINUX_MODULE})
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
if(MIDI)
  set(linux_in --midi ${MIDI})
  set(windows_in --midi Z:${MIDI})
  set(settings --block 100 --tail 0.5)
else()
  # The demo writes a second of stereo noise, demo-in.wav, as 32-bit float.
  run(${linux_demo} ${LINUX_BUILD}/plugin/Orsolane.so ${WORK})
  set(linux_in ${WORK}/demo-in.wav)
  set(windows_in Z:${WORK}/demo-in.wav)
  set(settings --param Depth=25ms --param Channel=0 --block 333)
endif()
run(${linux_vsthost} render ${LINUX_BUILD}/${LINUX_MODULE} ${linux_in} ${WORK}/linux.wav
    ${settings})
run(${WINE_RUN} ${VSTHOST_EXE} render Z:${DLL} ${windows_in} Z:${WORK}/windows.wav ${settings})
run(${linux_vsthost} compare --tolerance -inf ${WORK}/linux.wav ${WORK}/windows.wav)
message("${out}")
run(${WINE_RUN} ${VSTHOST_EXE} compare --tolerance -inf Z:${WORK}/linux.wav Z:${WORK}/windows.wav)
message("${out}")
