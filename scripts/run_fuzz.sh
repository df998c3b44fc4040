#!/usr/bin/env bash
# Runs every fuzz target built in BUILD_DIR for a bounded time each
# (FUZZ_SECONDS, default 60). Corpora live under build/fuzz-corpus/<target>,
# seeded from fuzz/regressions/<input>/ and fuzz/corpus/<input>/ (json,
# msgpack, yaml, request_path). Inputs that crash, leak or time out are
# copied into fuzz/regressions/<input>/, where `make test` replays
# them; the script then exits 1.
set -euo pipefail

build_dir="${1:?usage: run_fuzz.sh BUILD_DIR}"
seconds="${FUZZ_SECONDS:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
corpus_root="$root/build/fuzz-corpus"
artifact_root="$root/build/fuzz-artifacts"

shopt -s nullglob
targets=("$build_dir"/fuzz/*_fuzz)
if ((${#targets[@]} == 0)); then
  echo "run_fuzz: no fuzz targets in $build_dir/fuzz" >&2
  exit 2
fi

found=0
for target in "${targets[@]}"; do
  name="$(basename "$target")"        # json_reader_fuzz, request_path_fuzz
  reader="${name%_fuzz}"
  reader="${reader%_reader}"          # json, request_path
  seeds=()
  [[ -d "$root/fuzz/corpus/$reader" ]] && seeds=("$root/fuzz/corpus/$reader")
  corpus="$corpus_root/$name"
  artifacts="$artifact_root/$name"
  regressions="$root/fuzz/regressions/$reader"
  mkdir -p "$corpus" "$artifacts" "$regressions"
  rm -f "$artifacts"/*
  echo "== $name: ${seconds}s"
  # -rss_limit_mb keeps hostile inputs from taking the machine; a non-zero
  # status only means libFuzzer stopped on a finding, handled below.
  "$target" "$corpus" "$regressions" "${seeds[@]}" -max_total_time="$seconds" -rss_limit_mb=2048 \
    -timeout=10 -max_len=4096 -artifact_prefix="$artifacts/" -print_final_stats=1 2>&1 | tail -n 12 || true
  for artifact in "$artifacts"/*; do
    cp "$artifact" "$regressions/"
    echo "run_fuzz: $name: new regression input fuzz/regressions/$reader/$(basename "$artifact")"
    found=1
  done
done
exit "$found"
