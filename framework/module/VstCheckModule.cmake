# vst_check_module(<target> [STRICT] [NAME <test>] [SKIP <check>...] [TIMEOUT <seconds>])
# vst_check_module(<target> RENDER <IN> [<render option>...] GOLDEN <file>
#                  [TOLERANCE <dB>] [NAME <test>])
# vst_check_module(<target> RENDER <session.json> GOLDEN <file> [TOLERANCE <dB>] [NAME <test>])
# vst_check_module(<target> BASELINE <file> [<analyze option>...] [TOLERANCE <dB>]
#                  [NAME <test>])
# vst_check_module(<target> SCREENSHOT <golden.png> [<editor option>...]
#                  [TOLERANCE <n>] [PIXELS <n>] [NAME <test>])
#
# Registers a CTest test, named <target>.check unless NAME says otherwise,
# that runs `vsthost check` on the module <target> builds: it passes when no
# check fails (warnings pass; STRICT fails them too). SKIP leaves checks out by
# their short names (`vsthost check --list`); TIMEOUT is the time limit of each
# check in seconds (60 by default).
#
# With RENDER it registers a golden-render test instead, named <target>.render
# unless NAME says otherwise: `vsthost render <module> <IN> [options] <out>`
# (the options are render's, e.g. --param Depth=25ms --block 333), then
# `vsthost compare <out> <GOLDEN>`, which passes when the residual stays within
# TOLERANCE dB (compare's default, -96, unless given; -inf: bit-identical). The
# render is written beside the test, with the golden file's extension.
# RENDER <session.json> (a file ending in .json) renders the session instead:
# `vsthost render --session <session.json> --module <module> <out>`, where
# "$MODULE" in the session's chain stands for the module <target> builds.
#
# With BASELINE it registers a sound-regression test instead, named
# <target>.baseline unless NAME says otherwise: `vsthost analyze <module>
# --baseline <file> [options]` (the options are analyze's, e.g. --param
# Depth=25ms --rate 44100, the settings the baseline was measured at; make the
# baseline with `vsthost analyze <module> [options] --output <file>`). It
# passes while every magnitude curve stays within TOLERANCE dB of the
# baseline's (0.1 unless given), the latency is the same and the THD within
# 1 dB.
#
# With SCREENSHOT it registers an editor-picture test instead, named
# <target>.screenshot unless NAME says otherwise: `vsthost editor <module>
# --screenshot <out> --compare-screenshot <golden.png> [options]` (the options
# are editor's, e.g. --param Gain=-6dB --idle-ms 1000). It passes while no
# more than PIXELS pixels (0 unless given) differ from the golden picture's by
# more than TOLERANCE in any of red, green, blue or alpha (0 to 255; 8 unless
# given), and the two are the same size. The new picture is written beside
# the test as <test>.png, and a failing test names it; copy it over the golden
# one when the change is wanted. Make the golden picture with `env -u DISPLAY
# vsthost editor <module> --screenshot <golden.png>`. The test runs without
# DISPLAY, so vsthost takes the picture on a private Xvfb; a Windows build's
# test runs under Wine on a private Xvfb that the Wine runner starts
# (scripts/wine-run --display).
#
# In a Windows cross build (the package's mingw-w64 toolchain file) the test
# runs vsthost.exe under Wine, through the runner that toolchain file sets as
# CMake's cross-compiling emulator.
# The files in an argument list made absolute against the calling
# CMakeLists.txt's folder (a function keeps the caller's
# CMAKE_CURRENT_SOURCE_DIR), as Wine names them in a Windows cross build:
# what follows --midi or --preset, and with `first_is_file` the first argument
# unless it is an option (RENDER's IN or session).
function(_vst_check_files list first_is_file)
  set(files "")
  set(previous "")
  set(index 0)
  foreach(argument IN LISTS ${list})
    if((first_is_file AND index EQUAL 0 AND NOT argument MATCHES "^-") OR
       previous MATCHES "^--(midi|preset)$")
      get_filename_component(argument "${argument}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
      if(WIN32 AND CMAKE_CROSSCOMPILING)
        set(argument Z:${argument})
      endif()
    endif()
    list(APPEND files "${argument}")
    set(previous "${argument}")
    math(EXPR index "${index} + 1")
  endforeach()
  set(${list} "${files}" PARENT_SCOPE)
endfunction()

function(vst_check_module target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "STRICT" "NAME;TIMEOUT;GOLDEN;TOLERANCE;PIXELS"
                        "SKIP;RENDER;BASELINE;SCREENSHOT")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "vst_check_module(${target}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT TARGET ${target})
    message(FATAL_ERROR "vst_check_module(${target}): there is no target ${target}")
  endif()
  get_target_property(type ${target} TYPE)
  if(NOT type STREQUAL "MODULE_LIBRARY")
    message(FATAL_ERROR "vst_check_module(${target}): ${target} is no plug-in module (its type is "
                        "${type}); make the module with vst_add_module")
  endif()
  if(NOT TARGET vst::vsthost)
    message(FATAL_ERROR "vst_check_module(${target}): vsthost is not available; use the installed "
                        "VstFramework package, or build the framework with VST_PRODUCTS=ON")
  endif()
  if(DEFINED arg_TIMEOUT AND NOT arg_TIMEOUT MATCHES "^[1-9][0-9]*$")
    message(FATAL_ERROR "vst_check_module(${target}): TIMEOUT '${arg_TIMEOUT}' is not a whole "
                        "number of seconds")
  endif()
  if(DEFINED arg_SCREENSHOT)
    if(DEFINED arg_RENDER OR DEFINED arg_GOLDEN OR DEFINED arg_BASELINE OR arg_STRICT OR arg_SKIP
       OR arg_TIMEOUT)
      message(FATAL_ERROR "vst_check_module(${target}): a SCREENSHOT test takes the golden "
                          "picture, editor's options, TOLERANCE, PIXELS and NAME only")
    endif()
    if(DEFINED arg_TOLERANCE AND NOT arg_TOLERANCE MATCHES "^([0-9]|[1-9][0-9]|1[0-9][0-9]|2[0-4][0-9]|25[0-5])$")
      message(FATAL_ERROR "vst_check_module(${target}): TOLERANCE '${arg_TOLERANCE}' is not a "
                          "channel difference from 0 to 255, e.g. 8")
    endif()
    if(DEFINED arg_PIXELS AND NOT arg_PIXELS MATCHES "^[0-9]+$")
      message(FATAL_ERROR "vst_check_module(${target}): PIXELS '${arg_PIXELS}' is not a count "
                          "of pixels, e.g. 0")
    endif()
  elseif(DEFINED arg_PIXELS)
    message(FATAL_ERROR "vst_check_module(${target}): PIXELS belongs to a SCREENSHOT test")
  elseif(DEFINED arg_BASELINE)
    if(DEFINED arg_RENDER OR DEFINED arg_GOLDEN OR arg_STRICT OR arg_SKIP OR arg_TIMEOUT)
      message(FATAL_ERROR "vst_check_module(${target}): a BASELINE test takes analyze's options, "
                          "TOLERANCE and NAME only")
    endif()
    if(DEFINED arg_TOLERANCE AND NOT arg_TOLERANCE MATCHES "^[0-9]*\\.?[0-9]+$")
      message(FATAL_ERROR "vst_check_module(${target}): TOLERANCE '${arg_TOLERANCE}' is not a "
                          "difference in dB above 0, e.g. 0.1")
    endif()
  elseif(DEFINED arg_RENDER OR DEFINED arg_GOLDEN OR DEFINED arg_TOLERANCE)
    if(NOT arg_RENDER OR NOT arg_GOLDEN)
      message(FATAL_ERROR "vst_check_module(${target}): a golden-render test wants both "
                          "RENDER <IN> [options] and GOLDEN <file>")
    endif()
    if(arg_STRICT OR arg_SKIP OR arg_TIMEOUT)
      message(FATAL_ERROR "vst_check_module(${target}): STRICT, SKIP and TIMEOUT are check's; "
                          "a RENDER test takes GOLDEN, TOLERANCE and NAME")
    endif()
    if(DEFINED arg_TOLERANCE AND NOT arg_TOLERANCE MATCHES "^(-inf|-[0-9]+(\\.[0-9]*)?|0)$")
      message(FATAL_ERROR "vst_check_module(${target}): TOLERANCE '${arg_TOLERANCE}' is not a "
                          "level in dB, e.g. -96 or -inf")
    endif()
  endif()
  if(NOT arg_NAME)
    set(arg_NAME ${target}.check)
    if(arg_RENDER)
      set(arg_NAME ${target}.render)
    elseif(arg_BASELINE)
      set(arg_NAME ${target}.baseline)
    elseif(arg_SCREENSHOT)
      set(arg_NAME ${target}.screenshot)
    endif()
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
  # Every file given (IN, --midi, --preset, GOLDEN, BASELINE, a session) is
  # relative to the calling CMakeLists.txt's folder; the test runs in the
  # build folder.
  _vst_check_files(arg_RENDER TRUE)
  if(arg_RENDER)
    set(session "")
    list(GET arg_RENDER 0 first)
    if(first MATCHES "\\.json$")
      list(LENGTH arg_RENDER count)
      if(count GREATER 1)
        message(FATAL_ERROR "vst_check_module(${target}): a session (${first}) holds the render's "
                            "settings; RENDER takes nothing after it")
      endif()
      set(session ${first})  # made absolute above
    endif()
    get_filename_component(golden ${arg_GOLDEN} ABSOLUTE)
    get_filename_component(extension ${golden} LAST_EXT)
    set(out ${CMAKE_CURRENT_BINARY_DIR}/${arg_NAME}${extension})
    if(WIN32 AND CMAKE_CROSSCOMPILING)
      set(golden Z:${golden})
      set(out Z:${out})
    endif()
    add_test(NAME ${arg_NAME}
             COMMAND ${CMAKE_COMMAND} "-DRUNNER=${runner}" -DVSTHOST=$<TARGET_FILE:vst::vsthost>
                     -DMODULE=${module} "-DARGS=${arg_RENDER}" -DSESSION=${session}
                     -DOUT=${out} -DGOLDEN=${golden}
                     -DTOLERANCE=${arg_TOLERANCE} -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/VstRenderGolden.cmake)
    return()
  endif()
  if(arg_SCREENSHOT)
    list(POP_FRONT arg_SCREENSHOT golden)
    _vst_check_files(arg_SCREENSHOT FALSE)
    get_filename_component(golden ${golden} ABSOLUTE)
    set(out ${CMAKE_CURRENT_BINARY_DIR}/${arg_NAME}.png)
    if(WIN32 AND CMAKE_CROSSCOMPILING)
      # Wine shows windows only on a display: the runner starts a private one.
      list(INSERT runner 1 --display)
      set(golden Z:${golden})
      set(out Z:${out})
    endif()
    if(NOT runner)
      # Always on a private Xvfb: a developer's desktop would show the window,
      # and whatever covers it would be in the picture.
      set(runner ${CMAKE_COMMAND} -E env --unset=DISPLAY)
    endif()
    if(NOT DEFINED arg_TOLERANCE)
      set(arg_TOLERANCE 8)
    endif()
    if(NOT DEFINED arg_PIXELS)
      set(arg_PIXELS 0)
    endif()
    add_test(NAME ${arg_NAME}
             COMMAND ${runner} $<TARGET_FILE:vst::vsthost> editor ${module} --screenshot ${out}
                     --compare-screenshot ${golden} --tolerance ${arg_TOLERANCE}
                     --differing-pixels ${arg_PIXELS} ${arg_SCREENSHOT})
    if(WIN32 AND CMAKE_CROSSCOMPILING)
      # The runner's display is shared: one picture at a time.
      set_tests_properties(${arg_NAME} PROPERTIES RESOURCE_LOCK wine_display)
    endif()
    return()
  endif()
  if(arg_BASELINE)
    list(POP_FRONT arg_BASELINE baseline)
    _vst_check_files(arg_BASELINE FALSE)
    get_filename_component(baseline ${baseline} ABSOLUTE)
    if(WIN32 AND CMAKE_CROSSCOMPILING)
      set(baseline Z:${baseline})
    endif()
    if(DEFINED arg_TOLERANCE)
      list(APPEND arg_BASELINE --tolerance ${arg_TOLERANCE})
    endif()
    add_test(NAME ${arg_NAME} COMMAND ${runner} $<TARGET_FILE:vst::vsthost> analyze ${module}
                                      --baseline ${baseline} ${arg_BASELINE})
    return()
  endif()
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    # The editor checks open the module's editor: Wine shows it only on a
    # display, which the runner starts.
    list(INSERT runner 1 --display)
  endif()
  add_test(NAME ${arg_NAME}
           COMMAND ${runner} $<TARGET_FILE:vst::vsthost> check ${options} ${module})
endfunction()
