# vst_check_module(<target> [STRICT] [NAME <test>] [SKIP <check>...] [TIMEOUT <seconds>])
#
# Registers a CTest test, named <target>.check unless NAME says otherwise,
# that runs `vsthost check` on the module <target> builds: it passes when no
# check fails (warnings pass; STRICT fails them too). SKIP leaves checks out by
# their short names (`vsthost check --list`); TIMEOUT is the time limit of each
# check in seconds (60 by default).
#
# In a Windows cross build (the package's mingw-w64 toolchain file) the test
# runs vsthost.exe under Wine, through the runner that toolchain file sets as
# CMake's cross-compiling emulator.
function(vst_check_module target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "STRICT" "NAME;TIMEOUT" "SKIP")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "vst_check_module(${target}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT TARGET ${target})
    message(FATAL_ERROR "vst_check_module(${target}): there is no target ${target}")
  endif()
  get_target_property(type ${target} TYPE)
  if(NOT type STREQUAL "MODULE_LIBRARY")
    message(FATAL_ERROR "vst_check_module(${target}): ${target} is a ${type}, not a plug-in "
                        "module (make it with vst_add_module)")
  endif()
  if(NOT TARGET vst::vsthost)
    message(FATAL_ERROR "vst_check_module(${target}): vsthost is not available; use the installed "
                        "VstFramework package, or build the framework with VST_PRODUCTS=ON")
  endif()
  if(DEFINED arg_TIMEOUT AND NOT arg_TIMEOUT MATCHES "^[1-9][0-9]*$")
    message(FATAL_ERROR "vst_check_module(${target}): TIMEOUT '${arg_TIMEOUT}' is not a whole "
                        "number of seconds")
  endif()
  if(NOT arg_NAME)
    set(arg_NAME ${target}.check)
  endif()

  set(options "")
  if(arg_STRICT)
    list(APPEND options --strict)
  endif()
  if(arg_SKIP)
    string(REPLACE ";" "," skipped "${arg_SKIP}")
    list(APPEND options --skip ${skipped})
  endif()
  if(arg_TIMEOUT)
    list(APPEND options --timeout ${arg_TIMEOUT})
  endif()

  set(runner "")
  set(module $<TARGET_FILE:${target}>)
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
      message(FATAL_ERROR "vst_check_module(${target}): a Windows cross build runs vsthost.exe "
                          "under Wine; configure with the package's mingw-w64 toolchain file, "
                          "which sets the Wine runner")
    endif()
    set(runner ${CMAKE_CROSSCOMPILING_EMULATOR})
    set(module Z:${module})  # the Unix root as Wine names it
  endif()
  add_test(NAME ${arg_NAME}
           COMMAND ${runner} $<TARGET_FILE:vst::vsthost> check ${options} ${module})
endfunction()
