#!/usr/bin/env bash
# Fault injection: how many of the single faults in scripts/mutants.txt the
# test suites catch. Each fault is applied to a scratch copy of the sources,
# only the library is rebuilt, and two suites run against that libulvex.so:
#   after  - the current suite (what ctest runs in a plain build);
#   before - the tests/ directory of an older commit (OLD_REF), built once
#            against the current public headers and library (private header
#            paths and the tool's removed --window option adapted).
# A fault is caught when a test of the suite fails, crashes or times out.
#
#   scripts/mutate.sh setup              copy the tree, build both suites
#   scripts/mutate.sh sync-tests         copy the current tests/ and fuzz/ again and rebuild them
#   scripts/mutate.sh check              run the suites on the clean library (must pass)
#   scripts/mutate.sh run [ID...]        measure (all faults by default)
#   scripts/mutate.sh report             the table of the last runs
#
# MUT_DIR (default /work/mut) holds the scratch copies and results.tsv.
# SUITES (default "before=$MUT_DIR/oldtree/build after=$MUT_DIR/tree/build")
# names the suites to run and their CMake build directories; each runs with
# the mutated library first on LD_LIBRARY_PATH.
# Tests that only compile headers or install the package are left out of the
# runs (they build code and take long, but never look at what the library does
# beyond one round trip the unit tests make too), and so are the export and
# layer checks, which look at symbols and includes that no fault here changes
# (and the old export list predates the any-size scan and the C interface). SKIP adds a regular expression
# of tests to leave out of every suite, SKIP_<name> one for suite <name>: tests
# that fail on the clean library would count every fault as caught.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
mut=${MUT_DIR:-/work/mut}
old_ref=${OLD_REF:-d9bb706}
suites=${SUITES:-before=$mut/oldtree/build after=$mut/tree/build}
mutants=$repo/scripts/mutants.txt
tree=$mut/tree
oldtree=$mut/oldtree
results=$mut/results.tsv
skip='^(install_consumer|tool_installed|headers_cxx11|capi_header|exported_symbols|source_layers'${SKIP:+|$SKIP}')$'
py=/usr/bin/python3

configure() {  # source dir, build dir
  nice cmake -S "$1" -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DULVEX_BUILD_EXAMPLES=ON >/dev/null
}

copy_sources() {  # destination: the work tree's files as they stand (tracked and new, not ignored)
  mkdir -p "$1"
  (cd "$repo" && git ls-files -co --exclude-standard -z | tar --null --ignore-failed-read -T - -cf -) | tar -C "$1" -xf -
}

setup() {
  rm -rf "$tree" "$oldtree"
  copy_sources "$tree"
  configure "$tree" "$tree/build"
  nice ninja -C "$tree/build" -j2 >/dev/null
  save_clean

  # The old suite: the same sources with tests/ from OLD_REF. Its private
  # headers moved; the tool's windowed scan it tested is gone.
  copy_sources "$oldtree"
  rm -rf "$oldtree/tests" "$oldtree/fuzz/CMakeLists.txt"
  (cd "$repo" && git archive "$old_ref" tests) | tar -C "$oldtree" -xf -
  sed -i 's|#include "record/byte_search.h"|#include "common/byte_search.h"|;
          s|#include "record/record_detail.h"|#include "common/wire.h"\n#include "common/checksum.h"|' \
    "$oldtree/tests/vector_paths_test.cpp"
  $py - "$oldtree/tests/tool" <<'EOF'
import re, sys
p = sys.argv[1] + "/CMakeLists.txt"
s = open(p).read()
s = re.sub(r"add_executable\(ulvex_tool_tests.*?gtest_discover_tests\(ulvex_tool_tests[^\n]*\n", "", s, flags=re.S)
open(p, "w").write(s)
# The tool's --window option went with its windowed scan; the rest of the script stands.
p = sys.argv[1] + "/cli_test.sh"
s = open(p).read()
s = re.sub(r'  for w in \$\(seq 64 2 160\).*?\n  done\n', '', s, flags=re.S)
s = re.sub(r'"\$U" convert --to-binary --window 64.*?\|\| fail "extract, window 70"\n', '', s, flags=re.S)
open(p, "w").write(s)
EOF
  configure "$oldtree" "$oldtree/build"
  nice ninja -C "$oldtree/build" -j2 >/dev/null
}

sync_tests() {
  rm -rf "$tree/tests" "$tree/fuzz"
  (cd "$repo" && git ls-files -co --exclude-standard -z -- tests fuzz | tar --null --ignore-failed-read -T - -cf -) |
    tar -C "$tree" -xf -
  nice ninja -C "$tree/build" -j2 >/dev/null
  save_clean
}

# The clean library's objects, so that after each fault only its own sources
# are compiled again (restored with their times, ninja sees them up to date).
save_clean() {
  (cd "$tree/build" && tar -cf "$mut/clean-objects.tar" CMakeFiles/ulvex.dir libulvex.so*)
  rm -rf "$mut/pristine" && mkdir -p "$mut/pristine" && cp -a "$tree/src" "$mut/pristine/"
}

restore_clean() {
  rm -rf "$tree/src" && cp -a "$mut/pristine/src" "$tree/src"
  (cd "$tree/build" && tar -xpf "$mut/clean-objects.tar")
}

apply() {  # id: rewrites one file of $tree; fails when the old text is not there exactly once
  $py - "$mutants" "$tree" "$1" <<'EOF'
import sys
path, tree, want = sys.argv[1:4]
for line in open(path):
    if not line.strip() or line.startswith("#"):
        continue
    mid, f, desc, old, new = line.rstrip("\n").split("\t")
    if mid != want:
        continue
    old, new = old.replace("<NL>", "\n"), new.replace("<NL>", "\n")
    p = tree + "/" + f
    s = open(p).read()
    if s.count(old) != 1:
        sys.exit("%s: old text found %d times in %s" % (mid, s.count(old), f))
    open(p, "w").write(s.replace(old, new))
    sys.exit(0)
sys.exit("no fault " + want)
EOF
}

# Runs one suite's tests against the library in $tree/build; prints the failing
# tests (none: empty). ctest stops at the first failure.
run_suite() {  # name build-dir
  local log=$mut/last-$1.log own=SKIP_$1
  local pattern=${!own:+$skip|^(${!own})$}
  rm -f "$2/Testing/Temporary/CTestCostData.txt"  # declaration order: unit tests first
  if LD_LIBRARY_PATH="$tree/build" nice ctest --test-dir "$2" -E "${pattern:-$skip}" --timeout 120 --stop-on-failure -j2 \
    >"$log" 2>&1; then
    return 0
  fi
  grep -E '^\s+[0-9]+ - ' "$log" | sed -E 's/^\s+[0-9]+ - ([^ ]+).*/\1/' | head -3 | tr '\n' ' '
  grep -q 'tests failed' "$log" || echo "(ctest error)"
}

run() {
  local ids=("$@")
  [ ${#ids[@]} -gt 0 ] || mapfile -t ids < <(grep -vE '^(#|\s*$)' "$mutants" | cut -f1)
  touch "$results"
  for id in "${ids[@]}"; do
    restore_clean
    local desc
    desc=$(awk -F'\t' -v id="$id" '$1 == id { print $3 }' "$mutants")
    if ! apply "$id"; then
      printf '%s\t%s\tnot-applied\t\t\n' "$id" "$desc" >>"$results"
      continue
    fi
    if ! nice ninja -C "$tree/build" -j2 ulvex >"$mut/last-build.log" 2>&1; then
      printf '%s\t%s\tno-build\t\t\n' "$id" "$desc" >>"$results"
      continue
    fi
    local row=("$id" "$desc")
    for item in $suites; do
      local name=${item%%=*} failed
      failed=$(run_suite "$name" "${item#*=}")
      row+=("$name=$([ -n "$failed" ] && echo caught || echo missed)" "$failed")
    done
    (IFS=$'\t'; echo "${row[*]}") | tee -a "$results"
  done
  restore_clean
  nice ninja -C "$tree/build" -j2 ulvex >/dev/null
}

check() {
  restore_clean
  local item status=0
  for item in $suites; do
    local failed
    failed=$(run_suite "${item%%=*}" "${item#*=}")
    echo "${item%%=*}: ${failed:-all passed}"
    [ -z "$failed" ] || status=1
  done
  return $status
}

report() {
  # The last result of each fault and suite.
  $py - "$results" "$mutants" <<'EOF'
import sys
order, desc, res, suites = [], {}, {}, []
for line in open(sys.argv[2]):
    if line.strip() and not line.startswith("#"):
        cols = line.split("\t")
        order.append(cols[0])
        desc[cols[0]] = cols[2]
for line in open(sys.argv[1]):
    cols = line.rstrip("\n").split("\t")
    for i in range(2, len(cols), 2):
        if "=" in cols[i]:
            s, v = cols[i].split("=", 1)
            res[(cols[0], s)] = v
            if s not in suites:
                suites.append(s)
print("| id | fault | " + " | ".join(suites) + " |")
print("|---|---|" + "---|" * len(suites))
for mid in order:
    cells = [res.get((mid, s), "-") for s in suites]
    print("| %s | %s | %s |" % (mid, desc[mid], " | ".join(cells)))
print()
for s in suites:
    n = sum(res.get((m, s)) == "caught" for m in order)
    done = sum((m, s) in res for m in order)
    print("%s: caught %d of %d measured (%d faults)" % (s, n, done, len(order)))
EOF
}

case ${1:-} in
  setup) setup ;;
  sync-tests) sync_tests ;;
  check) check ;;
  run) shift; run "$@" ;;
  report) report ;;
  *) sed -n '2,19p' "$0"; exit 2 ;;
esac
