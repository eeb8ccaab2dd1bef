# vsthost.exe render of the Windows module under Wine is bit-identical to
# vsthost render of the Linux module, with a non-default parameter and an odd
# block size; compared by both builds' compare at -inf dB. Run with
#   cmake -DWINE_RUN=... -DVSTHOST_EXE=... -DDLL=... -DLINUX_BUILD=... -DWORK=... -P windows_render.cmake
# The Linux build (its vsthost, demo and module) is `make test`'s first; without
# it the test says SKIP.
set(linux_vsthost ${LINUX_BUILD}/vsthost)
set(linux_demo ${LINUX_BUILD}/orsolane_demo)
set(linux_module ${LINUX_BUILD}/plugin/Orsolane.so)
foreach(needed ${linux_vsthost} ${linux_demo} ${linux_module})
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
# The demo writes a second of stereo noise, demo-in.wav, as 32-bit float.
run(${linux_demo} ${linux_module} ${WORK})
set(settings --param Depth=25ms --param Channel=0 --block 333)
run(${linux_vsthost} render ${linux_module} ${WORK}/demo-in.wav ${WORK}/linux.wav ${settings})
run(${WINE_RUN} ${VSTHOST_EXE} render Z:${DLL} Z:${WORK}/demo-in.wav Z:${WORK}/windows.wav
    ${settings})
run(${linux_vsthost} compare --tolerance -inf ${WORK}/linux.wav ${WORK}/windows.wav)
message("${out}")
run(${WINE_RUN} ${VSTHOST_EXE} compare --tolerance -inf Z:${WORK}/linux.wav Z:${WORK}/windows.wav)
message("${out}")
