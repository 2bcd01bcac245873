# Fetches Debian's source packages into the current folder, as the
# machine's own apt entries serve them, without touching the machine's apt
# configuration: the deb-src entries and their lists live under WORK.
#   . scripts/debian-sources.sh; fetch_sources WORK name=version...
# The source of the installed version; when the archive doesn't serve that
# one (a security update's source may be missing from a mirror), the
# release's own.
fetch_sources() {
  local work=$1
  shift
  mkdir -p "$work/apt/lists/partial" "$work/apt/cache/archives/partial"
  # deb-src entries with the same URIs and suites as the machine's own entries.
  local sources="$work/apt/sources.list" file package release
  : >"$sources"
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$file" ] || continue
    sed -n 's/^[[:space:]]*deb[[:space:]]\+/deb-src /p' "$file" >>"$sources"
  done
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    # deb822 stanzas: keep those of type deb, as deb-src.
    awk 'BEGIN { RS = ""; FS = "\n" }
         /(^|\n)Types:[^\n]*deb([ \t\n]|$)/ {
           uris = suites = comps = signed = ""
           for (i = 1; i <= NF; i++) {
             if ($i ~ /^URIs:/) uris = substr($i, 6)
             if ($i ~ /^Suites:/) suites = substr($i, 8)
             if ($i ~ /^Components:/) comps = substr($i, 12)
             if ($i ~ /^Signed-By:/) signed = substr($i, 11)
           }
           gsub(/^[ \t]+/, "", signed)
           n = split(uris, u, " "); m = split(suites, s, " ")
           for (a = 1; a <= n; a++) for (b = 1; b <= m; b++)
             printf "deb-src %s%s %s %s\n", (signed ? "[signed-by=" signed "] " : ""), u[a], s[b], comps
         }' "$file" >>"$sources"
  done
  local apt_options=(-o "Dir::Etc::SourceList=$sources" -o "Dir::Etc::SourceParts=$work/apt/none"
                     -o "Dir::State::Lists=$work/apt/lists" -o "Dir::Cache=$work/apt/cache"
                     -o "APT::Sandbox::User=root" -o "Debug::NoLocking=1")
  echo "== apt-get update for the source entries ($(wc -l <"$sources") of them)" >&2
  apt-get "${apt_options[@]}" update -q >&2
  release=$(. /etc/os-release && echo "$VERSION_CODENAME")
  for package in "$@"; do
    echo "== apt-get source $package" >&2
    if ! apt-get "${apt_options[@]}" source -q "$package" >&2; then
      echo "== apt-get source ${package%%=*}/$release (the installed version's source is not served)" >&2
      apt-get "${apt_options[@]}" source -q "${package%%=*}/$release" >&2
    fi
  done
}
