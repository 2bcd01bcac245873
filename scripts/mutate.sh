#!/usr/bin/env bash
# Mutation testing: puts one small fault at a time into a source file,
# rebuilds, runs the unit tests that match a pattern and lists the faults
# that no test noticed.
#   scripts/mutate.sh FILE TEST_REGEX
#   e.g. scripts/mutate.sh src/view/overview.cpp '^(Overview|Navigat|Table/ViewCase)'
# The faults, each alone: a comparison moved by one (< and <=, > and >=),
# == and != swapped, && and || swapped, an integer literal one more, a
# one-line statement deleted. Each is built in build-mutate/ (a Release
# build of its own) and tested with `ctest -L unit -R TEST_REGEX`:
# unit tests only, as the end-to-end suites take minutes a run. A fault that
# doesn't compile, or compiles to the same code, isn't counted. The file is
# put back whatever happens.
set -euo pipefail
cd "$(dirname "$0")/.."
file=$1 regex=$2
build=build-mutate
work=$(mktemp -d)
cp "$file" "$work/original"
trap 'cp "$work/original" "$file"; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM HUP  # the file is put back on these too

echo "== Writing the mutants of $file"
python3 - "$file" "$work" <<'EOF'
import re, sys
path, work = sys.argv[1], sys.argv[2]
lines = open(path).read().split("\n")

def code_of(line, in_comment):
    """The line with strings, characters and comments blanked out."""
    out, i = [], 0
    while i < len(line):
        if in_comment:
            end = line.find("*/", i)
            stop = len(line) if end < 0 else end + 2
            out.append(" " * (stop - i)); i = stop; in_comment = end < 0
        elif line.startswith("//", i):
            out.append(" " * (len(line) - i)); break
        elif line.startswith("/*", i):
            in_comment = True
        elif line[i] in "\"'":
            j = i + 1
            while j < len(line) and line[j] != line[i]: j += 2 if line[j] == "\\" else 1
            out.append(line[i] + " " * (j - i - 1) + line[i:j + 1][-1:]); i = j + 1
        else:
            out.append(line[i]); i += 1
    return "".join(out), in_comment

swaps = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "==", "&&": "||", "||": "&&"}
not_statements = re.compile(r"(return|break|continue|case|default|using|namespace|struct|class|enum|template|"
                            r"extern|typedef|constexpr|static|const)\b|}|[A-Za-z_][\w:<>, ]*[*&]*\s[*&]*\w+\s*[=;({]")
mutants, in_comment, previous = [], False, ";"
for n, line in enumerate(lines):
    code, in_comment = code_of(line, in_comment)
    if code.lstrip().startswith("#"):
        continue
    def add(start, end, new, what):
        mutants.append((n, line[:start] + new + line[end:], what))
    for m in re.finditer(r"(?<=\s)(<=|>=|<|>|==|!=|&&|\|\|)(?=\s)", code):
        add(m.start(), m.end(), swaps[m.group()], f"{m.group()} -> {swaps[m.group()]}")
    for m in re.finditer(r"(?<![.\w])(\d+)(?=[uUlL]*(?![.\w]))", code):
        value = int(m.group())
        add(m.start(), m.end(), str(value + 1), f"{value} -> {value + 1}")
    stripped = code.strip()
    # A whole statement on its own line (not a declaration, nor a return).
    if stripped.endswith(";") and previous[-1:] in (";", "{", "}", ":") and not not_statements.match(stripped):
        mutants.append((n, "", "line deleted"))
    if stripped:
        previous = stripped

with open(f"{work}/mutants.tsv", "w") as listing:
    for i, (n, new_line, what) in enumerate(mutants, 1):
        copy = list(lines)
        copy[n] = new_line
        open(f"{work}/mutant-{i}", "w").write("\n".join(copy))
        listing.write(f"{i}\t{n + 1}\t{what}\t{lines[n].strip()}\n")
print(f"{len(mutants)} mutants")
EOF

if [ ! -f "$build/CMakeCache.txt" ]; then
  echo "== Configuring $build/ (Release)"
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTILEMAP_BENCH=OFF >/dev/null
fi
echo "== Building and testing the file as it is"
cmake --build "$build" --parallel "$(nproc)" >"$work/build.log" 2>&1 || { cat "$work/build.log"; exit 1; }
tests=(ctest --test-dir "$build" -L unit -R "$regex" --parallel "$(nproc)" --timeout 120)
"${tests[@]}" --output-on-failure >"$work/tests.log" || { cat "$work/tests.log"; exit 1; }
grep 'tests passed' "$work/tests.log"
# Only the test programs that hold the chosen tests are rebuilt for each mutant.
mapfile -t targets < <("${tests[@]}" --show-only=json-v1 | python3 -c '
import json, os, sys
print("\n".join(sorted({os.path.basename(t["command"][0]) for t in json.load(sys.stdin)["tests"]})))')
echo "   test programs: ${targets[*]}"
# A mutant that compiles to the very same code as the file (a line left out
# by the preprocessor, a value that is overwritten) can't be caught: not counted.
# Its object file: the one whose path ends in the longest tail of the file's.
object= tail=$file
while [ -z "$object" ] && [ -n "$tail" ]; do
  object=$(find "$build" -path "*/$tail.o" | head -1)
  if [[ $tail == */* ]]; then tail=${tail#*/}; else tail=; fi
done
same_code() { [ -n "$object" ] && cmp -s "$object" "$work/original.o"; }
[ -z "$object" ] || cp "$object" "$work/original.o"

caught=0 survived=0 unbuilt=0 unchanged=0
: >"$work/survivors"
while IFS=$'\t' read -r i line what text; do
  cp "$work/mutant-$i" "$file"
  printf '[%s] %s:%s: %s (%s) ... ' "$i" "$file" "$line" "$what" "$text"
  if ! cmake --build "$build" --parallel "$(nproc)" --target "${targets[@]}" >/dev/null 2>&1; then
    echo "doesn't build"
    unbuilt=$((unbuilt + 1))
  elif same_code; then
    echo "same code"
    unchanged=$((unchanged + 1))
  elif "${tests[@]}" --stop-on-failure >/dev/null 2>&1; then
    echo "SURVIVED"
    survived=$((survived + 1))
    printf '%s:%s: %s (%s)\n' "$file" "$line" "$what" "$text" >>"$work/survivors"
  else
    echo "caught"
    caught=$((caught + 1))
  fi
done <"$work/mutants.tsv"
cp "$work/original" "$file"

echo "== Survivors"
cat "$work/survivors"
total=$((caught + survived))
echo "== $file: $caught of $total mutants caught ($((total ? 100 * caught / total : 100))%)," \
  "$survived survived; not counted: $unbuilt that didn't build, $unchanged that compiled to the same code"
