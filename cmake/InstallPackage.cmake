# `cmake --install` lays out the CMake package VstFramework:
#   bin/                      vsthost (vsthost.exe from a Windows build)
#   include/vst/              the interface, framework and host headers
#   lib/                      the framework, editor and host libraries (and
#                             AGG's, from a Windows build)
#   lib/cmake/VstFramework/   the package config and version, the imported
#                             targets vst::interface, vst::framework,
#                             vst::editor, vst::host, vst::vsthost (and, from
#                             a Windows build, vst::agg; on Linux the config
#                             finds Debian's AGG), vst_add_module with the files it
#                             links, vst_check_module, vst_add_installer with
#                             vst-package and the installer script, and the mingw-w64
#                             toolchain file with its Wine runner
include(CMakePackageConfigHelpers)
set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/VstFramework)

set(installed_targets vst_interface vst_framework vst_host)
set(installed_headers include/vst framework/include/vst host/include/vst)
if(TARGET vst_editor)
  list(APPEND installed_targets vst_editor)
  list(APPEND installed_headers framework/editor/include/vst)
endif()
# AGG: built here for Windows and installed with the editor library; on
# Linux Debian's library, which the package's config looks for.
set(VST_PACKAGE_FINDS_AGG OFF)
if(TARGET vst_agg)
  list(APPEND installed_targets vst_agg)
elseif(TARGET vst_editor)
  set(VST_PACKAGE_FINDS_AGG ON)
endif()
if(TARGET vsthost)
  list(APPEND installed_targets vsthost)
endif()
install(TARGETS ${installed_targets} EXPORT VstFrameworkTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${installed_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT VstFrameworkTargets NAMESPACE vst:: DESTINATION ${package_dir})
install(FILES
          framework/module/VstModule.cmake
          framework/module/VstCheckModule.cmake
          framework/module/VstRenderGolden.cmake
          framework/module/plugin_main.cpp
          framework/module/exports.map
          framework/module/exports.def
          framework/module/version.rc.in
          framework/module/VstInstaller.cmake
          packaging/installer.nsi
        DESTINATION ${package_dir})
install(PROGRAMS packaging/vst-package DESTINATION ${package_dir})
install(FILES cmake/mingw-w64-x86_64.cmake DESTINATION ${package_dir})
install(PROGRAMS scripts/wine-run DESTINATION ${package_dir})

configure_package_config_file(cmake/VstFrameworkConfig.cmake.in
  ${PROJECT_BINARY_DIR}/VstFrameworkConfig.cmake INSTALL_DESTINATION ${package_dir})
# A newer framework with the same major version keeps every effect built
# against an older one working (see "Framework versions" in docs/writing-an-effect.md).
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VstFrameworkConfigVersion.cmake
  VERSION ${VST_FRAMEWORK_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VstFrameworkConfig.cmake
              ${PROJECT_BINARY_DIR}/VstFrameworkConfigVersion.cmake
        DESTINATION ${package_dir})
