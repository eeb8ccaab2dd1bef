# Links `target` (a MODULE library that includes framework/plugin_main.cpp) as
# a VST 2.4 module: no "lib" prefix, and exactly two exports, VSTPluginMain and
# main, naming one function. Everything else stays hidden.
function(orsolane_vst_module target)
  set_target_properties(${target} PROPERTIES PREFIX "")
  if(WIN32)
    # The module-definition file names the only exports; the runtime is linked
    # in statically (see cmake/mingw-w64-x86_64.cmake).
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/framework/exports.def)
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  else()
    target_link_options(${target} PRIVATE
      -Wl,--version-script=${PROJECT_SOURCE_DIR}/framework/exports.map
      -Wl,--defsym=main=VSTPluginMain
      -Wl,--no-undefined)
    set_target_properties(${target} PROPERTIES LINK_DEPENDS ${PROJECT_SOURCE_DIR}/framework/exports.map)
  endif()
endfunction()
