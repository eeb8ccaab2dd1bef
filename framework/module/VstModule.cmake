# vst_add_module(<target> SOURCES <file>... [NAME <text>] [VENDOR <text>] [VERSION <x.y.z>])
#
# Makes a VST 2.4 plug-in module from an effect's sources: a MODULE library
# with the plug-in entry compiled in, linked against vst::framework, named
# without a "lib" prefix, and exporting exactly two names, VSTPluginMain and
# main, for one function. Everything else in it stays hidden. The sources
# define `AudioEffect* createEffectInstance(audioMasterCallback)`.
#
# On Windows the DLL also carries a version resource: NAME (file description
# and product name; the target's name by default), VENDOR (company) and
# VERSION (file and product version, up to four numbers; the calling project's
# version, or 1.0.0, by default).
#
# Every target it makes is appended to the global property VST_MODULES, so a
# project can hold all its modules to the same tests.
#
# The files it links with (the entry, the export lists, the resource template)
# lie beside this file, in the source tree and in an installed package alike.
function(vst_add_module target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "NAME;VENDOR;VERSION" "SOURCES")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "vst_add_module(${target}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT arg_SOURCES)
    message(FATAL_ERROR "vst_add_module(${target}): SOURCES names no file")
  endif()
  if(NOT TARGET vst::framework)
    message(FATAL_ERROR "vst_add_module(${target}): vst::framework is not defined; "
                        "find_package(VstFramework) or add the framework's directory first")
  endif()
  set(files ${CMAKE_CURRENT_FUNCTION_LIST_DIR})

  add_library(${target} MODULE ${arg_SOURCES} ${files}/plugin_main.cpp)
  set_property(GLOBAL APPEND PROPERTY VST_MODULES ${target})
  target_link_libraries(${target} PRIVATE vst::framework)
  target_compile_features(${target} PRIVATE cxx_std_17)
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
