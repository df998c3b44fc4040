// Two costs of a tree beyond reading it: merging an object whose 100,000
// keys all come twice (the second half folds into the first), and
// destroying a whole Catalogue tree. The anchors do the same reads with
// RapidJSON's Document, which keeps repeated keys as they are.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <chrono>
#include <memory>
#include <string>

#include "bench/codec_documents.h"
#include "binding/json_reader.h"

namespace {

constexpr int kMergeKeys = 100000;

// {"k0":{"a":0},...,"k99999":{"a":99999},"k0":{"b":0},...}: every key twice,
// so each object merges with the one before.
const std::string& RepeatedKeys() {
  static const std::string text = [] {
    std::string out = "{";
    for (const char* field : {"a", "b"}) {
      for (int i = 0; i < kMergeKeys; ++i) {
        if (out.size() > 1) out += ',';
        out += "\"k" + std::to_string(i) + "\":{\"" + field + "\":" + std::to_string(i) + "}";
      }
    }
    return out + "}";
  }();
  return text;
}

void BM_MergeRepeatedKeys_Ours(benchmark::State& state) {
  const std::string& json = RepeatedKeys();
  for (auto _ : state) {
    Quarn::BindingResult result = Quarn::FromJson(json);
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * json.size()));
}

void BM_MergeRepeatedKeys_Anchor(benchmark::State& state) {
  const std::string& json = RepeatedKeys();
  for (auto _ : state) {
    rapidjson::Document document;
    document.Parse(json.c_str());
    benchmark::DoNotOptimize(document);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * json.size()));
}

// Only the destruction is timed; the read before it is not.
void BM_DestroyCatalogue_Ours(benchmark::State& state) {
  const std::string& json = kiv_bench::CodecDocuments()[0].json;
  for (auto _ : state) {
    auto result = std::make_unique<Quarn::BindingResult>(Quarn::FromJson(json));
    const auto start = std::chrono::steady_clock::now();
    result.reset();
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * json.size()));
}

void BM_DestroyCatalogue_Anchor(benchmark::State& state) {
  const std::string& json = kiv_bench::CodecDocuments()[0].json;
  for (auto _ : state) {
    auto document = std::make_unique<rapidjson::Document>();
    document->Parse(json.c_str());
    const auto start = std::chrono::steady_clock::now();
    document.reset();
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * json.size()));
}

BENCHMARK(BM_MergeRepeatedKeys_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MergeRepeatedKeys_Anchor)->Unit(benchmark::kMillisecond);
// A fixed count: each iteration reads a whole tree untimed first.
BENCHMARK(BM_DestroyCatalogue_Ours)->UseManualTime()->Iterations(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DestroyCatalogue_Anchor)->UseManualTime()->Iterations(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
