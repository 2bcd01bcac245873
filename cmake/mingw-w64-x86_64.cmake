# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix threads).
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DTILEMAP_WINDOWS_DEPS=<prefix> ...
# TILEMAP_WINDOWS_DEPS is the prefix that scripts/build-windows-deps.sh fills
# with SDL2, SDL2_image and jansson built for Windows.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

# The prefix reaches try_compile projects through the environment.
if(TILEMAP_WINDOWS_DEPS)
  set(ENV{TILEMAP_WINDOWS_DEPS} "${TILEMAP_WINDOWS_DEPS}")
endif()
set(deps "$ENV{TILEMAP_WINDOWS_DEPS}")

set(CMAKE_FIND_ROOT_PATH /usr/${triple} ${deps})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config looks only at the Windows libraries, never at the host's.
if(deps)
  set(ENV{PKG_CONFIG_LIBDIR} "${deps}/lib/pkgconfig")
  set(ENV{PKG_CONFIG_PATH} "")
endif()
