# vst_add_module(<target> SOURCES <file>... [NAME <text>] [VENDOR <text>] [VERSION <x.y.z>]
#                [FRAMEWORK_HEADERS <file name>...])
#
# Makes a VST 2.4 plug-in module from an effect's sources: a MODULE library
# with the plug-in entry compiled in, linked against vst::framework, named
# without a "lib" prefix, and exporting exactly two names, VSTPluginMain and
# main, for one function. Everything else in it stays hidden. The sources
# define `AudioEffect* createEffectInstance(audioMasterCallback)`.
#
# FRAMEWORK_HEADERS is for sources written against the classic effect API: it
# generates, in the build tree, a header under each file name given (the names
# the sources include for the framework), each including vst/framework.h and
# vst/classic_names.h, and puts them on this target's include path, so the
# sources build with their include lines unchanged. Such sources use
# multi-character constants for their IDs as a matter of course; the target
# is not warned about them. A name must be a plain file name (no folder) and
# must not be the name of one of the framework's or the interface's headers.
#
# A keyword it does not know stops the configure, also one written among the
# files of SOURCES or FRAMEWORK_HEADERS (a word in capitals).
#
# On Windows the DLL also carries a version resource: NAME (file description
# and product name; the target's name by default), VENDOR (company) and
# VERSION (file and product version, up to four numbers; the calling project's
# version, or 1.0.0, by default).
#
# Every target it makes is appended to the global property VST_MODULES, so a
# project can hold all its modules to the same tests.
#
# Modules are always built optimised. With no CMAKE_BUILD_TYPE (single-config
# generators) a module takes the Release flags, and the configure output says
# so once. An optimising build type (Release, RelWithDebInfo, MinSizeRel) whose
# flags carry no optimisation stops the configure with a message saying what
# to do: such flags are what a build folder keeps when its first configure ran
# before the compiler was installed, and everything would build unoptimised.
#
# The files it links with (the entry, the export lists, the resource template)
# lie beside this file, in the source tree and in an installed package alike.
function(vst_add_module target)
  set(keywords NAME VENDOR VERSION SOURCES FRAMEWORK_HEADERS)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "NAME;VENDOR;VERSION" "SOURCES;FRAMEWORK_HEADERS")
  list(JOIN keywords ", " known)
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "vst_add_module(${target}): unknown arguments ${arg_UNPARSED_ARGUMENTS} "
                        "(the keywords are ${known})")
  endif()
  # A word in capitals among the files is a keyword this function does not
  # know (cmake_parse_arguments would take it for a file).
  foreach(file IN LISTS arg_SOURCES arg_FRAMEWORK_HEADERS)
    if(file MATCHES "^[A-Z][A-Z0-9_]*$")
      message(FATAL_ERROR "vst_add_module(${target}): unknown keyword ${file} "
                          "(the keywords are ${known})")
    endif()
  endforeach()
  if(NOT arg_SOURCES)
    message(FATAL_ERROR "vst_add_module(${target}): SOURCES names no file")
  endif()
  if(NOT TARGET vst::framework)
    message(FATAL_ERROR "vst_add_module(${target}): vst::framework is not defined; "
                        "find_package(VstFramework) or add the framework's directory first")
  endif()
  if(DEFINED arg_FRAMEWORK_HEADERS OR "FRAMEWORK_HEADERS" IN_LIST arg_KEYWORDS_MISSING_VALUES)
    _vst_framework_headers(${target} "${arg_FRAMEWORK_HEADERS}" framework_headers)
  endif()
  set(files ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
  _vst_check_build_type()

  add_library(${target} MODULE ${arg_SOURCES} ${files}/plugin_main.cpp)
  set_property(GLOBAL APPEND PROPERTY VST_MODULES ${target})
  _vst_build_as_release(${target})
  target_link_libraries(${target} PRIVATE vst::framework)
  target_compile_features(${target} PRIVATE cxx_std_17)
  if(DEFINED framework_headers)
    target_include_directories(${target} PRIVATE ${framework_headers})
    target_compile_options(${target} PRIVATE -Wno-multichar)
  endif()
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    CXX_VISIBILITY_PRESET hidden
    C_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)

  if(WIN32)
    # The module-definition file names the only exports.
    target_sources(${target} PRIVATE ${files}/exports.def)
    target_link_options(${target} PRIVATE -Wl,--no-undefined)

    if(NOT arg_NAME)
      set(arg_NAME ${target})
    endif()
    if(NOT arg_VERSION)
      set(arg_VERSION ${PROJECT_VERSION})
    endif()
    if(NOT arg_VERSION)
      set(arg_VERSION 1.0.0)
    endif()
    if(NOT arg_VERSION MATCHES "^[0-9]+(\\.[0-9]+)?(\\.[0-9]+)?(\\.[0-9]+)?$")
      message(FATAL_ERROR "vst_add_module(${target}): VERSION '${arg_VERSION}' is not up to four numbers")
    endif()
    string(REPLACE "." ";" numbers ${arg_VERSION})
    list(LENGTH numbers count)
    while(count LESS 4)
      list(APPEND numbers 0)
      math(EXPR count "${count} + 1")
    endwhile()
    string(REPLACE ";" "," VST_MODULE_VERSION_NUMBERS "${numbers}")
    set(VST_MODULE_VERSION ${arg_VERSION})
    set(VST_MODULE_NAME ${arg_NAME})
    set(VST_MODULE_VENDOR ${arg_VENDOR})
    set(VST_MODULE_FILE ${target}.dll)
    foreach(text VST_MODULE_NAME VST_MODULE_VENDOR)
      # Resource strings take a doubled quote for a quote.
      string(REPLACE "\"" "\"\"" ${text} "${${text}}")
    endforeach()
    set(resource ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
    configure_file(${files}/version.rc.in ${resource} @ONLY)
    target_sources(${target} PRIVATE ${resource})
  else()
    target_link_options(${target} PRIVATE
      -Wl,--version-script=${files}/exports.map
      -Wl,--defsym=main=VSTPluginMain
      -Wl,--no-undefined)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${files}/exports.map)
  endif()
endfunction()

# Writes the headers FRAMEWORK_HEADERS names for `target` into a folder of the
# build tree of its own and sets `folder` to it. Stops the configure on an
# empty list, a name with a folder in it, or the name of a header of the
# framework or the interface (their include folders as vst::framework and
# vst::interface give them, in the source tree or an installed package).
function(_vst_framework_headers target names folder)
  set(where "vst_add_module(${target}): FRAMEWORK_HEADERS")
  if(names STREQUAL "")
    message(FATAL_ERROR "${where} names no header; give the file names the sources include, "
                        "e.g. FRAMEWORK_HEADERS myeffect.h")
  endif()
  set(taken vst)
  foreach(library vst::framework vst::interface)
    get_target_property(aliased ${library} ALIASED_TARGET)
    if(aliased)
      set(library ${aliased})
    endif()
    get_target_property(directories ${library} INTERFACE_INCLUDE_DIRECTORIES)
    foreach(directory IN LISTS directories)
      if(directory MATCHES "^\\$<BUILD_INTERFACE:(.*)>$")
        set(directory ${CMAKE_MATCH_1})
      elseif(directory MATCHES "^\\$<")
        continue()
      endif()
      file(GLOB headers RELATIVE ${directory}/vst ${directory}/vst/*)
      string(TOLOWER "${headers}" headers)
      list(APPEND taken ${headers})
    endforeach()
  endforeach()
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_framework_headers)
  foreach(name IN LISTS names)
    if(name STREQUAL "")
      message(FATAL_ERROR "${where} has an empty name")
    endif()
    if(name MATCHES "[/\\\\:]" OR name STREQUAL "." OR name STREQUAL "..")
      get_filename_component(example "${name}" NAME)
      message(FATAL_ERROR "${where} '${name}' is a path; give a file name, as the sources "
                          "include it (${example}): the header is made in the build tree")
    endif()
    string(TOLOWER "${name}" lower)
    if(lower IN_LIST taken)
      message(FATAL_ERROR "${where} '${name}' is the name of one of the framework's own "
                          "headers (vst/${lower}); give the names the sources include")
    endif()
    file(CONFIGURE OUTPUT ${out}/${name} CONTENT
"// Made by vst_add_module(${target} FRAMEWORK_HEADERS ${name}): the framework
// under the name ${target}'s sources include for it, with the classic helper names.
#pragma once

#include \"vst/framework.h\"
#include \"vst/classic_names.h\"
")
  endforeach()
  set(${folder} ${out} PARENT_SCOPE)
endfunction()

# With no build type (single-config generators), builds `target` with the
# Release flags; the framework library takes them too, so a module's base
# class code is as optimised as the module.
function(_vst_build_as_release target)
  get_property(multi_config GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
  if(multi_config OR CMAKE_BUILD_TYPE)
    return()
  endif()
  foreach(lang C CXX)
    separate_arguments(flags UNIX_COMMAND "${CMAKE_${lang}_FLAGS_RELEASE}")
    target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:${lang}>:${flags}>")
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "MODULE_LIBRARY")
    separate_arguments(flags UNIX_COMMAND "${CMAKE_MODULE_LINKER_FLAGS_RELEASE}")
    target_link_options(${target} PRIVATE ${flags})
  endif()
endfunction()

# Whether a compiler command line with these flags optimises: the last -O
# option decides, and -O0 (or none at all) does not optimise.
function(_vst_flags_optimise flags result)
  string(REGEX MATCHALL "(^| )-O[^ ]*" levels " ${flags}")
  list(POP_BACK levels level)
  string(STRIP "${level}" level)
  if(level AND NOT level STREQUAL "-O0")
    set(${result} TRUE PARENT_SCOPE)
  else()
    set(${result} FALSE PARENT_SCOPE)
  endif()
endfunction()

# Checks, once per configure, that every optimising build type in use
# optimises (with no build type, modules build as Release: see above).
function(_vst_check_build_type)
  get_property(checked GLOBAL PROPERTY _VST_BUILD_TYPE_CHECKED)
  if(checked)
    return()
  endif()
  set_property(GLOBAL PROPERTY _VST_BUILD_TYPE_CHECKED TRUE)
  get_property(multi_config GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
  if(multi_config)
    set(configs ${CMAKE_CONFIGURATION_TYPES})
  elseif(CMAKE_BUILD_TYPE)
    set(configs ${CMAKE_BUILD_TYPE})
  else()
    set(configs Release)
    message(STATUS "No CMAKE_BUILD_TYPE given: modules are built optimised, with the Release "
                   "flags (-DCMAKE_BUILD_TYPE=Debug for a debug build)")
  endif()
  set(defaults_RELEASE "-O3 -DNDEBUG")
  set(defaults_RELWITHDEBINFO "-O2 -g -DNDEBUG")
  set(defaults_MINSIZEREL "-Os -DNDEBUG")
  foreach(config ${configs})
    string(TOUPPER "${config}" upper)
    if(NOT upper MATCHES "^(RELEASE|RELWITHDEBINFO|MINSIZEREL)$")
      continue()
    endif()
    set(missing "")
    set(example "")
    foreach(lang C CXX)
      if(CMAKE_${lang}_COMPILER_LOADED)
        _vst_flags_optimise("${CMAKE_${lang}_FLAGS} ${CMAKE_${lang}_FLAGS_${upper}}" optimised)
        if(NOT optimised)
          list(APPEND missing CMAKE_${lang}_FLAGS_${upper})
          string(APPEND example " -DCMAKE_${lang}_FLAGS_${upper}=\"${defaults_${upper}}\"")
        endif()
      endif()
    endforeach()
    if(missing)
      list(JOIN missing " and " names)
      message(FATAL_ERROR
        "Build type ${config} without optimisation: ${names} (with CMAKE_<LANG>_FLAGS) "
        "carry no -O option, so everything, the modules included, would build unoptimised. "
        "A build folder keeps such empty flags when its first configure ran before its "
        "compiler was installed. Remove the build folder (or configure it with --fresh), or "
        "give the flags:${example}")
    endif()
  endforeach()
endfunction()
