# vst_add_installer(<target> NAME <text> VENDOR <text> VERSION <x.y.z> ID <id>
#                   [PACKAGE <debian-name>] [MAINTAINER "<name> <mail>"]
#                   [DESCRIPTION <one line>] [LONG_DESCRIPTION <text>]
#                   [COPYRIGHT <file>] [CHANGES <file>])
#
# Ships a module made with vst_add_module to its users. In a Windows build it
# adds the target <target>_installer, which writes
# <build>/installers/<NAME>Setup-<VERSION>.exe: an installer putting the DLL
# into a VST 2 folder the user picks (C:\Program Files\Common Files\VST2 by
# default), listed with the installed programs under ID, with an uninstaller,
# silent mode (/S, /D=folder) and upgrades in place. In a Linux build it adds
# <target>_deb, which writes <build>/installers/<PACKAGE>_<VERSION>_<arch>.deb
# installing the module as /usr/lib/vst/<target>.so. PACKAGE (the Debian name,
# lower case) defaults to the target's name in lower case, MAINTAINER to
# "<VENDOR> <nobody@invalid>", LONG_DESCRIPTION to a line naming the module and
# where it goes, COPYRIGHT to a note naming the vendor, and the
# changelog says "Release <VERSION>" unless CHANGES names a file of lines.
#
# Neither target is part of the default build: `cmake --build . --target
# <target>_installer`. With VST_SIGN_PKCS12 (a PKCS#12 file) and
# VST_SIGN_PASSWORD in the environment the DLL, the installer and its
# uninstaller are Authenticode-signed. SOURCE_DATE_EPOCH pins every time
# stamp. The work is done by vst-package, beside this file (or under
# packaging/ in the framework's sources), which needs makensis (nsis) for the
# installer and dpkg-deb (dpkg-dev) for the package.
function(vst_add_installer target)
  cmake_parse_arguments(PARSE_ARGV 1 arg ""
    "NAME;VENDOR;VERSION;ID;PACKAGE;MAINTAINER;DESCRIPTION;LONG_DESCRIPTION;COPYRIGHT;CHANGES" "")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "vst_add_installer(${target}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT TARGET ${target})
    message(FATAL_ERROR "vst_add_installer(${target}): no such target; make it with vst_add_module first")
  endif()
  foreach(required NAME VENDOR VERSION ID)
    if(NOT arg_${required})
      message(FATAL_ERROR "vst_add_installer(${target}): ${required} is missing")
    endif()
  endforeach()
  if(NOT arg_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
    message(FATAL_ERROR "vst_add_installer(${target}): VERSION '${arg_VERSION}' is not three numbers x.y.z")
  endif()
  if(NOT arg_ID MATCHES "^[A-Za-z0-9._-]+$")
    message(FATAL_ERROR "vst_add_installer(${target}): ID '${arg_ID}' wants letters, digits, '.', '_' and '-' only")
  endif()

  set(tool ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/vst-package)
  if(NOT EXISTS ${tool})
    set(tool ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../../packaging/vst-package)
  endif()
  set(out ${CMAKE_BINARY_DIR}/installers)

  if(WIN32)
    string(REPLACE " " "" file_name "${arg_NAME}")
    add_custom_target(${target}_installer
      COMMAND ${tool} installer --name ${arg_NAME} --vendor ${arg_VENDOR} --version ${arg_VERSION}
              --id ${arg_ID} --dll $<TARGET_FILE:${target}> --out ${out}
      BYPRODUCTS ${out}/${file_name}Setup-${arg_VERSION}.exe
      DEPENDS ${target}
      COMMENT "Windows installer ${file_name}Setup-${arg_VERSION}.exe"
      VERBATIM)
    return()
  endif()

  if(NOT arg_PACKAGE)
    string(TOLOWER "${target}" arg_PACKAGE)
  endif()
  if(NOT arg_PACKAGE MATCHES "^[a-z0-9][a-z0-9.+-]+$")
    message(FATAL_ERROR "vst_add_installer(${target}): PACKAGE '${arg_PACKAGE}' is no Debian package name "
                        "(lower-case letters, digits, '.', '+' and '-')")
  endif()
  if(NOT arg_MAINTAINER)
    set(arg_MAINTAINER "${arg_VENDOR} <nobody@invalid>")
  endif()
  if(NOT arg_DESCRIPTION)
    set(arg_DESCRIPTION "${arg_NAME} (VST 2 plug-in)")
  endif()
  if(NOT arg_LONG_DESCRIPTION)
    set(arg_LONG_DESCRIPTION "${arg_NAME} ${arg_VERSION} by ${arg_VENDOR}, a VST 2.4 plug-in module, installed as /usr/lib/vst/${target}.so, where hosts look for VST 2 plug-ins.")
  endif()
  set(options --package ${arg_PACKAGE} --version ${arg_VERSION} --maintainer ${arg_MAINTAINER}
              --vendor ${arg_VENDOR} --description ${arg_DESCRIPTION})
  foreach(option LONG_DESCRIPTION COPYRIGHT CHANGES)
    if(arg_${option})
      string(TOLOWER "${option}" name)
      string(REPLACE "_" "-" name "${name}")
      list(APPEND options --${name} ${arg_${option}})
    endif()
  endforeach()
  set(root ${CMAKE_CURRENT_BINARY_DIR}/${target}_deb_root)
  add_custom_target(${target}_deb
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${root}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${root}/usr/lib/vst
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${target}> ${root}/usr/lib/vst/
    COMMAND ${tool} deb ${options} --root ${root} --out ${out}
    DEPENDS ${target}
    COMMENT "Debian package ${arg_PACKAGE}"
    VERBATIM)
endfunction()
