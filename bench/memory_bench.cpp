// Bytes held by a tree read from each codec document: ours (counted by
// this executable's replacement of the global allocation functions, while a
// measurement is running) against what RapidJSON's Document holds (its
// pool allocator's Size()). Reported as the counters ours_bytes and
// anchor_bytes, which scripts/run_bench.sh turns into a summary line.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <rapidjson/document.h>

#include <cstdlib>
#include <new>

#include "bench/codec_documents.h"
#include "binding/json_reader.h"

namespace {

// Counting is off except inside a measurement, so the speed benchmarks pay
// only an untaken branch. Single-threaded, as the benchmarks are.
bool g_counting = false;
int64_t g_live_bytes = 0;

void* Allocate(std::size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  if (g_counting) g_live_bytes += static_cast<int64_t>(malloc_usable_size(p));
  return p;
}

void Release(void* p) noexcept {
  if (p != nullptr && g_counting) g_live_bytes -= static_cast<int64_t>(malloc_usable_size(p));
  std::free(p);
}

void* AllocateAligned(std::size_t size, std::align_val_t align) {
  const auto alignment = static_cast<std::size_t>(align);
  void* p = std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
  if (p == nullptr) throw std::bad_alloc();
  if (g_counting) g_live_bytes += static_cast<int64_t>(malloc_usable_size(p));
  return p;
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, std::align_val_t align) { return AllocateAligned(size, align); }
void* operator new[](std::size_t size, std::align_val_t align) { return AllocateAligned(size, align); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, std::align_val_t) noexcept { Release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { Release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { Release(p); }

namespace {

using kiv_bench::CodecDocuments;

void BM_TreeMemory(benchmark::State& state, size_t index) {
  const std::string& json = CodecDocuments()[index].json;
  int64_t ours = 0;
  size_t anchor = 0;
  for (auto _ : state) {
    g_live_bytes = 0;
    g_counting = true;
    {
      Quarn::BindingResult result = Quarn::FromJson(json);
      ours = g_live_bytes;
      benchmark::DoNotOptimize(result);
    }
    g_counting = false;
    rapidjson::Document document;
    document.Parse(json.c_str());
    anchor = document.GetAllocator().Size();
  }
  state.counters["ours_bytes"] = static_cast<double>(ours);
  state.counters["anchor_bytes"] = static_cast<double>(anchor);
}

BENCHMARK_CAPTURE(BM_TreeMemory, Catalogue, 0)->Iterations(1);
BENCHMARK_CAPTURE(BM_TreeMemory, Numbers, 1)->Iterations(1);
BENCHMARK_CAPTURE(BM_TreeMemory, MasteryBook, 2)->Iterations(1);

}  // namespace
