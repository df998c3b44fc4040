// FromJson against RapidJSON's Document::Parse (default allocator) on the
// same documents; both build and destroy a whole tree per iteration.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include "bench/codec_documents.h"
#include "binding/json_reader.h"

namespace {

using kiv_bench::CodecDocuments;

void BM_JsonRead_Ours(benchmark::State& state, size_t index) {
  const std::string& json = CodecDocuments()[index].json;
  for (auto _ : state) {
    Quarn::BindingResult result = Quarn::FromJson(json);
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * json.size()));
}

void BM_JsonRead_Anchor(benchmark::State& state, size_t index) {
  const std::string& json = CodecDocuments()[index].json;
  for (auto _ : state) {
    rapidjson::Document document;
    document.Parse(json.c_str());
    benchmark::DoNotOptimize(document);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * json.size()));
}

BENCHMARK_CAPTURE(BM_JsonRead_Ours, Catalogue, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_JsonRead_Anchor, Catalogue, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_JsonRead_Ours, Numbers, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_JsonRead_Anchor, Numbers, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_JsonRead_Ours, MasteryBook, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_JsonRead_Anchor, MasteryBook, 2)->Unit(benchmark::kMicrosecond);

}  // namespace
