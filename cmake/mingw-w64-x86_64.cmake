# Cross-builds the module and the test executables for 64-bit Windows with
# Debian's mingw-w64 toolchain (the posix-threads variant: GoogleTest needs
# std::mutex). Everything links statically, so the DLL and the executables
# import nothing but Windows system DLLs. Tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VST_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VST_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VST_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VST_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VST_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No libstdc++, libgcc or libwinpthread DLL at load time; no link time in the
# PE header either, so that the same sources give the same bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
# The shipped DLL carries no symbol table.
set(CMAKE_MODULE_LINKER_FLAGS_RELEASE_INIT "-s")

# Test executables (and GoogleTest's discovery) run through Wine, with a
# prefix of the build's own. The script lies beside this file in an installed
# package and under scripts/ in the source tree.
foreach(wine_run ${CMAKE_CURRENT_LIST_DIR}/wine-run ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
  if(EXISTS ${wine_run})
    set(CMAKE_CROSSCOMPILING_EMULATOR "${wine_run};--prefix=${CMAKE_BINARY_DIR}/wine-prefix")
    break()
  endif()
endforeach()
