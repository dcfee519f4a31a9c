# Cross-building for 64-bit Windows with Debian's MinGW-w64 (posix threads, so
# that std::thread and friends exist). Libraries and packages are found only
# under the MinGW sysroot and VANTOR_WINDOWS_DEPS, the prefixes scripts/windows.sh
# builds GLFW, raylib, assimp and the test libraries into.
#
# Installed with the Windows SDK (lib/cmake/Vantor/), it is the toolchain games
# build their game.dll with: there VANTOR_WINDOWS_DEPS is the SDK itself. The
# engine's C++ runtime is this compiler's libstdc++-6.dll, which game.dll shares.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VANTOR_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VANTOR_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VANTOR_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${VANTOR_MINGW}-windres)

if(NOT VANTOR_WINDOWS_DEPS AND EXISTS ${CMAKE_CURRENT_LIST_DIR}/VantorConfig.cmake)
  get_filename_component(VANTOR_WINDOWS_DEPS ${CMAKE_CURRENT_LIST_DIR}/../../.. ABSOLUTE)
endif()

# try_compile projects read this file too; hand them the prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VANTOR_WINDOWS_DEPS)
set(CMAKE_FIND_ROOT_PATH /usr/${VANTOR_MINGW} ${VANTOR_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
