#!/usr/bin/env bash
# Mutation testing: applies each mutation of scripts/mutants.txt alone to a
# scratch copy of the tree, builds the test configuration there and runs
# the suite until a test fails. A mutation the suite lets through is a
# fault it would miss.
#
#   scripts/mutants.sh                  every mutation
#   MUTANTS_ONLY=R1,C4 scripts/mutants.sh
#   scripts/mutants.sh --check          only lists the stale mutations
#
# Settings (environment): MUTANTS_ONLY (ids, comma-separated), JOBS
# (default 2), MUTANTS_TIMEOUT (seconds per mutant, default 900),
# MUTANTS_DIR (scratch, default build/mutants), MUTANTS_BASELINE=0 skips
# the run of the unmutated suite.
#
# The scratch copy lives in MUTANTS_DIR/tree with its build in
# tree/build/test, the same layout as the tree's own, so ccache serves the
# unchanged objects. A mutated file is put back by copying (a fresh mtime),
# so the next build recompiles it.
set -uo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
list="$root/scripts/mutants.txt"
work="${MUTANTS_DIR:-$root/build/mutants}"
tree="$work/tree"
build="$tree/build/test"
logs="$work/logs"
jobs="${JOBS:-2}"
limit="${MUTANTS_TIMEOUT:-900}"
only=",${MUTANTS_ONLY:-},"

die() { echo "mutants: $*" >&2; exit 2; }
[[ -f "$list" ]] || die "no list at $list"
command -v python3 >/dev/null || die "python3 is needed"
mkdir -p "$tree" "$logs"

# The list: ID | file | original text | replacement | tests to run first | what it breaks
ids=() files=() originals=() replacements=() firsts=() breaks=()
lineno=0
while IFS= read -r line || [[ -n "$line" ]]; do
  lineno=$((lineno + 1))
  [[ "$line" =~ ^[[:space:]]*(#|$) ]] && continue
  mapfile -t fields < <(python3 -c '
import sys
parts = [p.strip() for p in sys.argv[1].split(" | ")]
if len(parts) != 6: sys.exit(1)
print("\n".join(parts))' "$line")
  [[ ${#fields[@]} -eq 6 ]] || die "mutants.txt:$lineno: want 6 fields separated by ' | '"
  if [[ "$only" != ",," && "$only" != *",${fields[0]},"* ]]; then continue; fi
  for known in "${ids[@]}"; do [[ "$known" == "${fields[0]}" ]] && die "mutants.txt:$lineno: id ${fields[0]} twice"; done
  ids+=("${fields[0]}") files+=("${fields[1]}") originals+=("${fields[2]}")
  replacements+=("${fields[3]}") firsts+=("${fields[4]}") breaks+=("${fields[5]}")
done <"$list"
((${#ids[@]})) || die "no mutation selected (MUTANTS_ONLY=${MUTANTS_ONLY:-})"

# How often a mutation's original text occurs in its file (0 without the file).
occurrences() {
  [[ -f "$root/$1" ]] || { echo 0; return; }
  python3 -c 'import sys; print(open(sys.argv[1], encoding="utf-8").read().count(sys.argv[2]))' "$root/$1" "$2"
}

if [[ "${1:-}" == --check ]]; then
  bad=0
  for i in "${!ids[@]}"; do
    n=$(occurrences "${files[$i]}" "${originals[$i]}")
    if [[ "$n" != 1 ]]; then echo "${ids[$i]} stale: original text found $n times in ${files[$i]}"; bad=1; fi
  done
  ((bad == 0)) && echo "mutants: all ${#ids[@]} mutations apply"
  exit $bad
fi

# The scratch copy: the working tree as it is (uncommitted edits included),
# without what git ignores. Only files whose content differs are written,
# with a fresh mtime, so a file left mutated by an interrupted run is
# rebuilt once put back.
git -C "$root" ls-files -z --cached --others --exclude-standard | python3 -c '
import os, sys
root, tree = sys.argv[1:3]
wanted = {p for p in sys.stdin.read().split("\0") if p and os.path.isfile(os.path.join(root, p))}
for path in wanted:
    source, target = os.path.join(root, path), os.path.join(tree, path)
    data = open(source, "rb").read()
    if os.path.isfile(target) and open(target, "rb").read() == data:
        continue
    os.makedirs(os.path.dirname(target), exist_ok=True)
    open(target, "wb").write(data)
    os.chmod(target, os.stat(source).st_mode)
for folder, dirs, names in os.walk(tree):
    relative = os.path.relpath(folder, tree)
    if relative == "build" or relative.startswith("build" + os.sep):
        dirs[:] = []
        continue
    for name in names:
        path = os.path.normpath(os.path.join(relative, name))
        if path not in wanted:
            os.remove(os.path.join(folder, name))
' "$root" "$tree" || die "cannot copy the tree"
mkdir -p "$tree/build"
# The docs page's files, which the host tests serve.
[[ -e "$root/build/web" && ! -e "$tree/build/web" ]] && ln -s "$root/build/web" "$tree/build/web"

export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
generator=()
[[ -f "$build/CMakeCache.txt" ]] || { command -v ninja >/dev/null && generator=(-G Ninja); }
cmake -S "$tree" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Debug -DKIV_SANITIZE=ON -DKIV_BUILD_TESTS=ON \
  >"$logs/configure.log" 2>&1 || die "configure failed, see $logs/configure.log"

# Runs ctest with `args`; sets failed_test to the first failing test.
failed_test=""
run_ctest() {
  local log="$1" seconds="$2"
  shift 2
  failed_test=""
  timeout "$seconds" ctest --test-dir "$build" -j"$jobs" --stop-on-failure --timeout 300 "$@" >>"$log" 2>&1
  local rc=$?
  ((rc == 0)) && return 0
  if ((rc == 124)); then failed_test="(timeout)"; return 1; fi
  failed_test="$(grep -E 'Test +#[0-9]+: [^ ]+ .*\*\*\*' "$log" | head -1 | sed -E 's/.*Test +#[0-9]+: ([^ ]+) .*/\1/')"
  if [[ -z "$failed_test" ]]; then
    failed_test="$(grep -m1 -E '^\s+[0-9]+ - ' "$log" | sed -E 's/^\s+[0-9]+ - ([^ ]+).*/\1/')"
  fi
  [[ -n "$failed_test" ]] || failed_test="(ctest exit $rc)"
  return 1
}

now() { date +%s; }
started=$(now)

if [[ "${MUTANTS_BASELINE:-1}" != 0 ]]; then
  echo "mutants: baseline build and suite (unmutated)"
  log="$logs/baseline.log"
  : >"$log"
  cmake --build "$build" -j"$jobs" >>"$log" 2>&1 || die "the unmutated tree does not build, see $log"
  run_ctest "$log" "$limit" || die "the unmutated suite fails ($failed_test), see $log"
  echo "mutants: baseline green in $(($(now) - started)) s"
fi

killed=0 survived=0 uncompiled=0 stale=0
survivors=() stales=() uncompileds=()
total=${#ids[@]}
for i in "${!ids[@]}"; do
  id="${ids[$i]}" file="${files[$i]}" first="${firsts[$i]}"
  tag="[$((i + 1))/$total] $id"
  log="$logs/$id.log"
  : >"$log"
  if [[ ! -f "$tree/$file" ]]; then
    echo "$tag stale: no file $file"
    stale=$((stale + 1)); stales+=("$id"); continue
  fi
  # Applied to the scratch copy only when the original text occurs exactly
  # once. The copy's own file is kept to put back, so edits made to the
  # tree while the run goes on do not leak into it.
  pristine="$work/pristine"
  cp "$tree/$file" "$pristine"
  python3 - "$pristine" "$tree/$file" "${originals[$i]}" "${replacements[$i]}" >>"$log" 2>&1 <<'EOF'
import sys
source, target, original, replacement = sys.argv[1:5]
text = open(source, encoding="utf-8").read()
count = text.count(original)
if count != 1:
    print(f"original text found {count} times")
    sys.exit(3)
open(target, "w", encoding="utf-8").write(text.replace(original, replacement))
EOF
  case $? in
    0) ;;
    3) echo "$tag stale: $(tail -1 "$log") in $file"; stale=$((stale + 1)); stales+=("$id"); continue ;;
    *) die "cannot apply $id, see $log" ;;
  esac

  t0=$(now)
  deadline=$((t0 + limit))
  verdict="" detail=""
  if ! timeout "$limit" cmake --build "$build" -j"$jobs" >>"$log" 2>&1; then
    verdict="not compiled"
  else
    t1=$(now)
    # The likely killers first, then the rest; out of time counts as killed.
    passes=("")
    [[ -n "$first" && "$first" != "-" ]] && passes=("-R" "-E")
    for pass in "${passes[@]}"; do
      left=$((deadline - $(now)))
      if ((left <= 0)); then verdict="killed" detail="(timeout)"; break; fi
      selection=()
      [[ -n "$pass" ]] && selection=("$pass" "$first")
      if ! run_ctest "$log" "$left" "${selection[@]}"; then verdict="killed" detail="$failed_test"; break; fi
    done
    [[ -n "$verdict" ]] || verdict="survived"
    detail="${detail:+by $detail }(build $((t1 - t0)) s, tests $(($(now) - t1)) s)"
  fi
  # Back to the original, with a fresh mtime.
  cp "$pristine" "$tree/$file"

  echo "$tag $verdict $detail"
  case "$verdict" in
    killed) killed=$((killed + 1)) ;;
    survived) survived=$((survived + 1)); survivors+=("$id | $file | ${breaks[$i]}") ;;
    "not compiled") uncompiled=$((uncompiled + 1)); uncompileds+=("$id") ;;
  esac
done

elapsed=$(($(now) - started))
counted=$((killed + survived))
echo
echo "mutants: killed $killed/$counted in $((elapsed / 60)) min $((elapsed % 60)) s" \
  "(not compiled: $uncompiled${uncompileds:+ ${uncompileds[*]}}; stale: $stale${stales:+ ${stales[*]}})"
if ((survived)); then
  echo "survivors:"
  printf '  %s\n' "${survivors[@]}"
fi
((survived == 0 && stale == 0 && uncompiled == 0))
