// ToJson against RapidJSON's Writer over a Document of the same document;
// both write compact text into a fresh buffer per iteration. Throughput is
// counted in bytes of the source JSON for both.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "bench/codec_documents.h"
#include "binding/json_reader.h"
#include "binding/json_writer.h"

namespace {

using kiv_bench::CodecDocuments;

void BM_JsonWrite_Ours(benchmark::State& state, size_t index) {
  const std::string& json = CodecDocuments()[index].json;
  const Quarn::BindingResult tree = Quarn::FromJson(json);
  for (auto _ : state) {
    std::string text = Quarn::ToJson(tree.value);
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * json.size()));
}

void BM_JsonWrite_Anchor(benchmark::State& state, size_t index) {
  const std::string& json = CodecDocuments()[index].json;
  rapidjson::Document document;
  document.Parse(json.c_str());
  for (auto _ : state) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    document.Accept(writer);
    benchmark::DoNotOptimize(buffer.GetString());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * json.size()));
}

BENCHMARK_CAPTURE(BM_JsonWrite_Ours, Catalogue, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_JsonWrite_Anchor, Catalogue, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_JsonWrite_Ours, Numbers, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_JsonWrite_Anchor, Numbers, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_JsonWrite_Ours, MasteryBook, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_JsonWrite_Anchor, MasteryBook, 2)->Unit(benchmark::kMicrosecond);

}  // namespace
