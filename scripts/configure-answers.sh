# The answers of a CMake configure step's checks (HAVE_... and the like:
# does this header exist, does this function link), kept in the repository
# so that configuring the same library with the same compiler doesn't ask
# them again: each is a small program compiled and linked.
#   . scripts/configure-answers.sh
#   answered NAME              prints "-C FILE" if scripts/configure-answers/NAME.cmake exists
#   save_answers BUILD FILE    writes the answers found by the configured BUILD folder into FILE
answered() {
  local file="$top/scripts/configure-answers/$1.cmake"
  if [ -f "$file" ]; then
    echo "== $1: the configure checks answered by scripts/configure-answers/$1.cmake" >&2
    echo "-C $file"
  else
    echo "== $1: no answers kept for these versions: the configure checks run one by one" >&2
  fi
}
save_answers() {
  mkdir -p "$(dirname "$2")"
  {
    echo "# Results of the configure checks, as CMake found them (see scripts/configure-answers.sh)."
    sed -n -E 's/^((HAVE|LIBC|STDC)_[A-Za-z0-9_]*):INTERNAL=(.*)$/set(\1 "\3" CACHE INTERNAL "")/p' \
      "$1/CMakeCache.txt"
  } >"$2"
}
