# The answers of a CMake configure step's checks (does this header exist,
# does this function link, how large is this type), kept in the repository
# so that configuring the same library with the same compiler doesn't ask
# them again: each is a small program compiled and linked, over a second of
# processor time with Emscripten.
#   . scripts/configure-answers.sh
#   answered NAME             prints "-C FILE" if scripts/configure-answers/NAME.cmake exists
#   save_answers BUILD FILE   writes the answers the configured BUILD folder found into FILE
# A library or compiler of another version configures asking every question;
# the answers it found are left in its prefix, to be copied into
# scripts/configure-answers/.
answered() {
  local file="$top/scripts/configure-answers/$1.cmake"
  if [ -f "$file" ]; then
    echo "== $1: configure checks answered by scripts/configure-answers/$1.cmake" >&2
    echo "-C $file"
  fi
}
save_answers() {
  mkdir -p "$(dirname "$2")"
  {
    echo "# The results of the configure checks (see scripts/configure-answers.sh)."
    # Every cache entry the checks leave: internal ones, but CMake's own.
    sed -n -E '/^(CMAKE_|FIND_PACKAGE_MESSAGE_DETAILS_)/d
               s/^([A-Za-z][A-Za-z0-9_]*):INTERNAL=(.*)$/set(\1 "\2" CACHE INTERNAL "")/p' "$1/CMakeCache.txt"
  } >"$2"
}
