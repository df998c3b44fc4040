// ReadYaml against the floor: a bare libyaml event loop over the same text
// that builds nothing.
#include <benchmark/benchmark.h>
#include <yaml.h>

#include "bench/codec_documents.h"
#include "binding/yaml_reader.h"

namespace {

using kiv_bench::CodecDocuments;

void BM_YamlRead_Ours(benchmark::State& state, size_t index) {
  const std::string& yaml = CodecDocuments()[index].yaml;
  for (auto _ : state) {
    Quarn::BindingResult result = Quarn::ReadYaml(yaml);
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * yaml.size()));
}

void BM_YamlRead_Anchor(benchmark::State& state, size_t index) {
  const std::string& yaml = CodecDocuments()[index].yaml;
  for (auto _ : state) {
    yaml_parser_t parser;
    yaml_parser_initialize(&parser);
    yaml_parser_set_encoding(&parser, YAML_UTF8_ENCODING);
    yaml_parser_set_input_string(&parser, reinterpret_cast<const unsigned char*>(yaml.data()), yaml.size());
    size_t events = 0;
    for (;;) {
      yaml_event_t event;
      if (yaml_parser_parse(&parser, &event) == 0) break;
      const bool end = event.type == YAML_STREAM_END_EVENT;
      yaml_event_delete(&event);
      ++events;
      if (end) break;
    }
    yaml_parser_delete(&parser);
    benchmark::DoNotOptimize(events);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * yaml.size()));
}

BENCHMARK_CAPTURE(BM_YamlRead_Ours, Catalogue, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_YamlRead_Anchor, Catalogue, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_YamlRead_Ours, Numbers, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_YamlRead_Anchor, Numbers, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_YamlRead_Ours, MasteryBook, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_YamlRead_Anchor, MasteryBook, 2)->Unit(benchmark::kMicrosecond);

}  // namespace
