// ReadMsgPack against msgpack-c's msgpack_unpack into a fresh zone; both
// build and destroy a whole tree per iteration.
#include <benchmark/benchmark.h>
#include <msgpack.h>

#include "bench/codec_documents.h"
#include "binding/msgpack_reader.h"

namespace {

using kiv_bench::CodecDocuments;

void BM_MsgPackRead_Ours(benchmark::State& state, size_t index) {
  const std::string& bytes = CodecDocuments()[index].msgpack;
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  for (auto _ : state) {
    Quarn::MsgPackReadResult read = Quarn::ReadMsgPack(data, bytes.size());
    benchmark::DoNotOptimize(read);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_MsgPackRead_Anchor(benchmark::State& state, size_t index) {
  const std::string& bytes = CodecDocuments()[index].msgpack;
  for (auto _ : state) {
    msgpack_zone zone;
    msgpack_zone_init(&zone, MSGPACK_ZONE_CHUNK_SIZE);
    msgpack_object object;
    size_t offset = 0;
    const msgpack_unpack_return status = msgpack_unpack(bytes.data(), bytes.size(), &offset, &zone, &object);
    benchmark::DoNotOptimize(status);
    benchmark::DoNotOptimize(object);
    msgpack_zone_destroy(&zone);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

BENCHMARK_CAPTURE(BM_MsgPackRead_Ours, Catalogue, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MsgPackRead_Anchor, Catalogue, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MsgPackRead_Ours, Numbers, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MsgPackRead_Anchor, Numbers, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MsgPackRead_Ours, MasteryBook, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MsgPackRead_Anchor, MasteryBook, 2)->Unit(benchmark::kMicrosecond);

}  // namespace
