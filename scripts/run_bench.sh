#!/usr/bin/env bash
# Runs the benchmark executable built in BUILD_DIR with JSON output, then
# prints one summary line per comparison:
#   NAME: ours X MB/s, anchor Y MB/s, ratio R
# A benchmark joins the summary by its name alone: BM_<Name>_Ours and
# BM_<Name>_Anchor (the same arguments after the name, if any) that set
# bytes processed form a pair; a benchmark reporting the counters
# ours_bytes and anchor_bytes gives a memory line instead. Extra arguments
# for the executable can be passed in BENCH_ARGS.
set -euo pipefail

build_dir="${1:?usage: run_bench.sh BUILD_DIR}"
binary="$build_dir/bench/kiv_bench"
results="$build_dir/bench/results.json"

# Medians of three runs: the machine is shared, single runs are noisy.
# shellcheck disable=SC2086
"$binary" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
  --benchmark_out="$results" --benchmark_out_format=json ${BENCH_ARGS:-}

python3 - "$results" <<'PY'
import json, re, sys

runs = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
        continue
    runs[b.get("run_name", b["name"])] = b

# The targets the summary line states beside each ratio: (at least, at most).
TARGETS = {
    "JsonRead/Catalogue": (0.8, None), "JsonRead/Numbers": (0.9, None), "JsonRead/MasteryBook": (0.9, None),
    "JsonWrite/Catalogue": (1.0, None), "JsonWrite/Numbers": (1.0, None), "JsonWrite/MasteryBook": (1.0, None),
    "MsgPackRead/Catalogue": (0.5, None), "MsgPackRead/Numbers": (0.8, None), "MsgPackRead/MasteryBook": (0.8, None),
    "YamlRead/Catalogue": (0.9, None), "YamlRead/Numbers": (0.9, None), "YamlRead/MasteryBook": (0.9, None),
    "MergeRepeatedKeys/Json": (0.33, None), "MergeRepeatedKeys/MsgPack": (0.33, None),
    "MergeRepeatedKeys/Yaml": (0.33, None),
    "TreeMemory/Catalogue": (None, 1.0), "TreeMemory/Numbers": (None, 1.0), "TreeMemory/MasteryBook": (None, 1.25),
    "CachedRuneBook": (1 / 1.3, None),
}

def target(label, ratio):
    low, high = TARGETS.get(label, (None, None))
    if low is not None:
        return f" (target >= {low:.2f}: {'met' if ratio >= low else 'missed'})"
    if high is not None:
        return f" (target <= {high:.2f}: {'met' if ratio <= high else 'missed'})"
    return ""

print("\nSummary (median of 3):")
for name, run in runs.items():
    label = re.sub(r"/iterations:\d+", "", name[3:] if name.startswith("BM_") else name)
    if "_Ours" in name:
        anchor = runs.get(name.replace("_Ours", "_Anchor", 1))
        if anchor is None or "bytes_per_second" not in run or "bytes_per_second" not in anchor:
            continue
        ours = run["bytes_per_second"] / 1e6
        theirs = anchor["bytes_per_second"] / 1e6
        label = label.replace("_Ours", "", 1)
        ratio = ours / theirs
        print(f"{label}: ours {ours:.1f} MB/s, anchor {theirs:.1f} MB/s, ratio {ratio:.2f}{target(label, ratio)}")
        # Request benchmarks also give requests per second and latencies.
        if "items_per_second" in run and "items_per_second" in anchor:
            print(f"  requests: ours {run['items_per_second']:.0f}/s, anchor {anchor['items_per_second']:.0f}/s")
        if all(k in run and k in anchor for k in ("p50_us", "p90_us", "p99_us")):
            print("  latency p50/p90/p99: ours {:.0f}/{:.0f}/{:.0f} us, anchor {:.0f}/{:.0f}/{:.0f} us".format(
                run["p50_us"], run["p90_us"], run["p99_us"], anchor["p50_us"], anchor["p90_us"], anchor["p99_us"]))
    elif "ours_bytes" in run and "anchor_bytes" in run:
        ours = run["ours_bytes"] / 1e6
        theirs = run["anchor_bytes"] / 1e6
        print(f"{label}: ours {ours:.2f} MB, anchor {theirs:.2f} MB, ratio {ours / theirs:.2f}"
              f"{target(label, ours / theirs)}")
PY
