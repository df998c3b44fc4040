// Two costs of a tree beyond reading it: merging an object whose 100,000
// keys all come twice (the second half folds into the first), against
// reading the object once, in each format; and destroying a whole
// Catalogue tree, against destroying RapidJSON's Document of it.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "bench/codec_documents.h"
#include "binding/json_reader.h"
#include "binding/msgpack_reader.h"
#include "binding/yaml_reader.h"

namespace {

constexpr int kMergeKeys = 100000;

// One object of kMergeKeys keys, {"k0":{"a":0},...}, and the same object
// followed by its keys again with other members, {...,"k0":{"b":0},...}, so
// that each of the second half merges into the first. Both pairs of a
// format process the same nominal bytes (the single object), so the ratio
// is the time of one read over the time of the merging read.
struct MergeTexts {
  std::string once;
  std::string twice;
};

MergeTexts JsonTexts() {
  const auto members = [](const char* field) {
    std::string out;
    for (int i = 0; i < kMergeKeys; ++i) {
      if (!out.empty()) out += ',';
      out.append("\"k").append(std::to_string(i)).append("\":{\"").append(field).append("\":");
      out.append(std::to_string(i)).append("}");
    }
    return out;
  };
  std::string once = "{", twice = "{";
  once.append(members("a")).append("}");
  twice.append(members("a")).append(",").append(members("b")).append("}");
  return {once, twice};
}

MergeTexts YamlTexts() {
  const auto members = [](const char* field) {
    std::string out;
    for (int i = 0; i < kMergeKeys; ++i) {
      out.append("k").append(std::to_string(i)).append(": {").append(field).append(": ");
      out.append(std::to_string(i)).append("}\n");
    }
    return out;
  };
  std::string twice = members("a");
  twice.append(members("b"));
  return {members("a"), twice};
}

MergeTexts MsgPackTexts() {
  const auto map32 = [](uint32_t n) {
    return std::string{'\xdf', static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
                       static_cast<char>(n)};
  };
  const auto members = [](char field) {
    std::string out;
    for (int i = 0; i < kMergeKeys; ++i) {
      const std::string number = std::to_string(i);
      out += static_cast<char>(0xa0 | (number.size() + 1));
      out.append("k").append(number);
      out += '\x81';  // a map of one
      out += static_cast<char>(0xa1);
      out += field;
      out += '\xce';  // uint32
      for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(static_cast<uint32_t>(i) >> shift);
    }
    return out;
  };
  std::string once = map32(kMergeKeys), twice = map32(2 * kMergeKeys);
  once.append(members('a'));
  twice.append(members('a')).append(members('b'));
  return {once, twice};
}

Quarn::BindingResult Read(char format, const std::string& text) {
  switch (format) {
    case 'j':
      return Quarn::FromJson(text);
    case 'y':
      return Quarn::ReadYaml(text);
    default:
      return Quarn::ReadMsgPack(reinterpret_cast<const uint8_t*>(text.data()), text.size()).result;
  }
}

const MergeTexts& Texts(char format) {
  static const MergeTexts json = JsonTexts(), yaml = YamlTexts(), pack = MsgPackTexts();
  return format == 'j' ? json : format == 'y' ? yaml : pack;
}

void Merge(benchmark::State& state, char format, bool twice) {
  const MergeTexts& texts = Texts(format);
  const std::string& text = twice ? texts.twice : texts.once;
  for (auto _ : state) {
    Quarn::BindingResult result = Read(format, text);
    if (!result.ok()) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * texts.once.size()));
}

void BM_MergeRepeatedKeys_Ours(benchmark::State& state, char format) { Merge(state, format, true); }
void BM_MergeRepeatedKeys_Anchor(benchmark::State& state, char format) { Merge(state, format, false); }

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

BENCHMARK_CAPTURE(BM_MergeRepeatedKeys_Ours, Json, 'j')->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MergeRepeatedKeys_Anchor, Json, 'j')->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MergeRepeatedKeys_Ours, MsgPack, 'm')->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MergeRepeatedKeys_Anchor, MsgPack, 'm')->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MergeRepeatedKeys_Ours, Yaml, 'y')->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MergeRepeatedKeys_Anchor, Yaml, 'y')->Unit(benchmark::kMillisecond);
// A fixed count: each iteration reads a whole tree untimed first.
BENCHMARK(BM_DestroyCatalogue_Ours)->UseManualTime()->Iterations(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DestroyCatalogue_Anchor)->UseManualTime()->Iterations(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
