# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix thread
# flavour: C++20 threads need it). The libraries come from the sysroot
# scripts/build-windows.sh builds; pass it as ORV_WINDOWS_SYSROOT (or in the
# environment of the same name).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_orv_host x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${_orv_host}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_orv_host}-g++-posix)
set(CMAKE_RC_COMPILER ${_orv_host}-windres)
set(CMAKE_AR ${_orv_host}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${_orv_host}-ranlib CACHE FILEPATH "")

if(NOT ORV_WINDOWS_SYSROOT AND DEFINED ENV{ORV_WINDOWS_SYSROOT})
  set(ORV_WINDOWS_SYSROOT $ENV{ORV_WINDOWS_SYSROOT})
endif()
# try_compile runs in a fresh project that only sees what is listed here.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ORV_WINDOWS_SYSROOT)

set(CMAKE_FIND_ROOT_PATH ${ORV_WINDOWS_SYSROOT} /usr/${_orv_host})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must read the sysroot's .pc files only, never the build
# machine's.
if(ORV_WINDOWS_SYSROOT)
  set(ENV{PKG_CONFIG_LIBDIR} "${ORV_WINDOWS_SYSROOT}/lib/pkgconfig:/usr/${_orv_host}/lib/pkgconfig")
  set(ENV{PKG_CONFIG_PATH} "")
endif()

# Test programs run under Wine.
find_program(ORV_WINE wine)
if(ORV_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ORV_WINE})
endif()
