# Building for the browser with Debian's Emscripten.
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/emscripten.cmake -DTILEMAP_WEB_DEPS=<prefix> ...
# TILEMAP_WEB_DEPS is the prefix that scripts/build-web-deps.sh fills with
# SDL2, SDL2_image, jansson, zlib, zstd and pugixml built with Emscripten.
execute_process(COMMAND em-config EMSCRIPTEN_ROOT OUTPUT_VARIABLE emscripten_root
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
include(${emscripten_root}/cmake/Modules/Platform/Emscripten.cmake)

# The prefix reaches try_compile projects through the environment.
if(TILEMAP_WEB_DEPS)
  set(ENV{TILEMAP_WEB_DEPS} "${TILEMAP_WEB_DEPS}")
endif()
set(deps "$ENV{TILEMAP_WEB_DEPS}")

if(deps)
  # First: Emscripten's sysroot has an SDL2 package of its own, which would
  # download SDL2 (its "port") instead of using ours.
  list(PREPEND CMAKE_FIND_ROOT_PATH ${deps})
  # pkg-config looks only at the libraries built for the browser.
  set(ENV{PKG_CONFIG_LIBDIR} "${deps}/lib/pkgconfig")
  set(ENV{PKG_CONFIG_PATH} "")
endif()

# Emscripten's own SDL 1 (headers and JavaScript) stays out of the way of the
# SDL2 built from Debian's source.
set(CMAKE_C_FLAGS_INIT "-sUSE_SDL=0")
set(CMAKE_CXX_FLAGS_INIT "-sUSE_SDL=0")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-sUSE_SDL=0")
