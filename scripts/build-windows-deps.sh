#!/usr/bin/env bash
# Cross-builds SDL2, SDL2_image and jansson (DLLs, shipped beside the exes)
# and zlib, zstd, pugixml, libwebp and giflib (static, linked into the
# importer) for 64-bit
# Windows from Debian's own source packages (the versions this machine's -dev
# packages have) into a prefix cached outside the repository, keyed by those
# versions and the compiler's, so only the first run pays for it. Prints the
# prefix.
# The machine's apt configuration is left as it was: the source entries and
# their lists live in a private folder beside the cache.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
say() { echo "== $*" >&2; }

version_of() { dpkg-query -W -f='${source:Version}' "$1"; }
sdl_version=$(version_of libsdl2-dev)
image_version=$(version_of libsdl2-image-dev)
jansson_version=$(version_of libjansson-dev)
zlib_version=$(version_of zlib1g-dev)
zstd_version=$(version_of libzstd-dev)
pugixml_version=$(version_of libpugixml-dev)
webp_version=$(version_of libwebp-dev)
gif_version=$(version_of libgif-dev)
compiler_version=$(x86_64-w64-mingw32-gcc-posix -dumpversion)
# Epochs ("1:") left out: a colon in the prefix would split PKG_CONFIG_LIBDIR.
key="sdl2-${sdl_version#*:}_image-${image_version#*:}_jansson-${jansson_version#*:}"
key+="_zlib-${zlib_version#*:}_zstd-${zstd_version#*:}_pugixml-${pugixml_version#*:}_webp-${webp_version#*:}_gif-${gif_version#*:}_gcc-${compiler_version}"
# And this recipe (the script and its toolchain file): a machine that built
# the libraries another way builds them again.
key+="_recipe-$(cat "$0" "$top/cmake/mingw-w64-x86_64.cmake" | sha256sum | cut -c1-8)"
cache=${TILEMAP_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tilemap-viewer}
prefix="$cache/windows-deps/$key"

if [ -f "$prefix/.complete" ]; then
  say "Windows libraries: cached in $prefix"
  echo "$prefix"
  exit 0
fi

say "Windows libraries: building $key (a few minutes, once)"
work="$cache/windows-deps/work-$$"
rm -rf "$work" "$prefix"
mkdir -p "$work/src"
trap 'rm -rf "$work"' EXIT

# Debian's sources of the versions installed here.
. "$top/scripts/debian-sources.sh"
cd "$work/src"
fetch_sources "$work" "libsdl2=$sdl_version" "libsdl2-image=$image_version" "jansson=$jansson_version" \
               "zlib=$zlib_version" "libzstd=$zstd_version" "pugixml=$pugixml_version" \
               "libwebp=$webp_version" "giflib=$gif_version"

toolchain="$top/cmake/mingw-w64-x86_64.cmake"
# Each configure step's checks are answered from scripts/configure-answers/
# when they were kept for this library and compiler; SDL2's and jansson's
# would otherwise take most of this script's time.
. "$top/scripts/configure-answers.sh"
# -O2, as Debian builds them: -O3 (CMake's Release) costs SDL2 a quarter more
# processor time to compile, for nothing the viewer would notice.
optimise="-O2 -DNDEBUG"
build() {  # source folder, extra cmake options...; TARGET=name builds that one only
  local source=$1 answers="${1%%/*}_gcc-${compiler_version}-mingw-w64"
  shift
  say "cross-building $source"
  # shellcheck disable=SC2046  # "-C file", or nothing
  cmake -S "$source" -B "$work/build-$source" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release \
    $(answered "$answers") \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DTILEMAP_WINDOWS_DEPS="$prefix" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_C_FLAGS_RELEASE="$optimise" -DCMAKE_CXX_FLAGS_RELEASE="$optimise" \
    "$@" >&2
  cmake --build "$work/build-$source" --parallel "$(nproc)" ${TARGET:+--target "$TARGET"} >&2
  cmake --install "$work/build-$source" >&2
  save_answers "$work/build-$source" "$prefix/share/configure-answers/$answers.cmake"
}
# Without the parts the viewer never reaches: game controllers read through
# HIDAPI (the joystick subsystem keeps its Windows drivers), Vulkan, OpenGL ES
# and the disk-writing audio driver. A tenth of SDL2's compiling.
build "$(ls -d libsdl2-2*/)" -DSDL_SHARED=ON -DSDL_STATIC=OFF -DSDL_TEST=OFF \
  -DSDL_HIDAPI=OFF -DSDL_VULKAN=OFF -DSDL_OPENGLES=OFF -DSDL_DISKAUDIO=OFF
build "$(ls -d libsdl2-image-*/)" -DBUILD_SHARED_LIBS=ON -DSDL2IMAGE_VENDORED=ON \
  -DSDL2IMAGE_BACKEND_STB=ON -DSDL2IMAGE_BACKEND_WIC=OFF -DSDL2IMAGE_SAMPLES=OFF -DSDL2IMAGE_TESTS=OFF \
  -DSDL2IMAGE_AVIF=OFF -DSDL2IMAGE_JXL=OFF -DSDL2IMAGE_TIF=OFF -DSDL2IMAGE_WEBP=OFF
build "$(ls -d jansson-*/)" -DJANSSON_BUILD_SHARED_LIBS=OFF -DJANSSON_EXAMPLES=OFF \
  -DJANSSON_WITHOUT_TESTS=ON -DJANSSON_BUILD_DOCS=OFF
# The importer's libraries are linked in statically, so that it needs no DLLs
# beyond the viewer's. zlib's CMake build makes a DLL (libzlib.dll, whose
# resource file Debian's source leaves out) and a static libzlibstatic.a: only
# the static one is built, and installed as libz.a, which is what zlib.pc's
# -lz then finds (headers and zlib.pc come from its install step).
TARGET=zlibstatic build "$(ls -d zlib-*/)" -DSKIP_INSTALL_LIBRARIES=ON \
  -DINSTALL_PKGCONFIG_DIR="$prefix/lib/pkgconfig"
cp "$work/build-$(ls -d zlib-*/)/libzlibstatic.a" "$prefix/lib/libz.a"
# zstd's decoder alone (the importer reads zstd, never writes it), through
# zstd's own Makefile, which can leave the encoder out: a fifth of the work.
say "cross-building $(ls -d libzstd-*/) (its decoder)"
zstd_make=(env CFLAGS="$optimise" make -C "$(ls -d libzstd-*/)lib" CC=x86_64-w64-mingw32-gcc-posix AR=x86_64-w64-mingw32-ar
           ZSTD_LIB_COMPRESSION=0 PREFIX="$prefix")
"${zstd_make[@]}" -j"$(nproc)" libzstd.a >&2
"${zstd_make[@]}" install-static install-includes install-pc >&2
build "$(ls -d pugixml-*/)" -DBUILD_SHARED_LIBS=OFF -DPUGIXML_BUILD_TESTS=OFF
# libwebp's encoder and its animation muxer, and giflib, for the importer's
# animations (static, linked into the importer): the libraries alone, none of
# their tools.
build "$(ls -d libwebp-*/)" -DBUILD_SHARED_LIBS=OFF -DWEBP_BUILD_ANIM_UTILS=OFF -DWEBP_BUILD_CWEBP=OFF \
  -DWEBP_BUILD_DWEBP=OFF -DWEBP_BUILD_GIF2WEBP=OFF -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF \
  -DWEBP_BUILD_WEBPINFO=OFF -DWEBP_BUILD_WEBPMUX=OFF -DWEBP_BUILD_EXTRAS=OFF -DWEBP_BUILD_LIBWEBPMUX=ON
say "cross-building $(ls -d giflib-*/) (its library)"
gif_make=(env OFLAGS="$optimise" make -C "$(ls -d giflib-*/)" CC=x86_64-w64-mingw32-gcc-posix AR=x86_64-w64-mingw32-ar)
"${gif_make[@]}" -j"$(nproc)" libgif.a >&2
install -D -m 644 "$(ls -d giflib-*/)libgif.a" "$prefix/lib/libgif.a"
install -D -m 644 "$(ls -d giflib-*/)gif_lib.h" "$prefix/include/gif_lib.h"
printf 'prefix=%s\nName: libgif\nDescription: GIF images\nVersion: %s\nLibs: -L${prefix}/lib -lgif\nCflags: -I${prefix}/include\n' \
  "$prefix" "${gif_version%%-*}" >"$prefix/lib/pkgconfig/libgif.pc"

# Their licences, shipped in the Windows zip with the code built from them.
mkdir -p "$prefix/share/licenses"
for folder in */; do
  name=$(sed -n 's/^Source: *//p' "$folder/debian/control" | head -n 1)
  cp "$folder/debian/copyright" "$prefix/share/licenses/$name.txt"
done

touch "$prefix/.complete"
say "Windows libraries: ready in $prefix"
echo "$prefix"
