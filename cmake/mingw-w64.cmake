# Cross-compiles for Windows with mingw-w64. HORAVEL_WINDOWS_ARCH names the
# target: i686 (x86) or x86_64 (x64); the presets set it.
if(NOT HORAVEL_WINDOWS_ARCH)
  set(HORAVEL_WINDOWS_ARCH i686)
endif()
# The compiler checks read this file again in a project of their own.
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES HORAVEL_WINDOWS_ARCH)

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${HORAVEL_WINDOWS_ARCH})
set(HORAVEL_MINGW ${HORAVEL_WINDOWS_ARCH}-w64-mingw32)

set(CMAKE_C_COMPILER ${HORAVEL_MINGW}-gcc)
set(CMAKE_CXX_COMPILER ${HORAVEL_MINGW}-g++)
set(CMAKE_RC_COMPILER ${HORAVEL_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${HORAVEL_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# The runtime is linked in, so horavel.exe needs no DLL beyond those of Windows
# itself; no link time in the header, so a build is the same bytes every time.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")
