// The Collections service's two typical reads through the real request
// callback, on the developer host's loop with its stand-ins over the
// default world: GET rune book answered from the cache, and GET mastery
// book, which calls the backend stand-in every time. Each against the
// floor: the same answer converted to JSON.
//
// Pairs for the summary (scripts/run_bench.sh): CachedRuneBook and
// MasteryBookThroughBackend. Both sides of a pair count the answer's JSON
// bytes per request, so the throughput ratio is the inverse time ratio.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "binding/json_writer.h"
#include "binding/native_conversion.h"
#include "collections/collections_service.h"
#include "host/host_loop.h"
#include "host/standins/stand_ins.h"
#include "host/world.h"
#include "runtime/plugin_loader.h"

namespace {

using Quarn::Client::Collections::CollectionsService;

std::string DefaultWorldPath() { return KIV_BENCH_WORLD_PATH; }

kiv::host::World LoadDefaultWorld() {
  auto world = kiv::host::LoadWorld(DefaultWorldPath());
  if (world.HasFailure()) {
    std::fprintf(stderr, "collections_bench: %s\n", world.failure().message().c_str());
    std::abort();
  }
  return world.TakeValue();
}

// The service initialised on the host loop with the world's player logged
// in: the login data has filled the rune book.
struct Fixture {
  Fixture() : loop(Options()), stand_ins(loop, LoadDefaultWorld()) {
    summoner = stand_ins.world().login.summoner_id;
    service = new CollectionsService();
    record.api_major = 18;
    Quarn::LoadPlugin(*service, record, CollectionsService::kShortName);
    context.api = loop.api();
    context.host_handle = loop.NewHostHandle();
    loop.AttachDescription(*record.description, context.host_handle);
    if (record.callbacks->init(record.plugin, &context) != 1) std::abort();
    loop.RunUntilIdle();
    rune_book_path = "/kiv-collections/v1/inventories/" + std::to_string(summoner) + "/rune-book";
    mastery_book_path = "/kiv-collections/v1/inventories/" + std::to_string(summoner) + "/mastery-book";
    rune_book = Find("/kiv-collections/v1/inventories/{summonerId}/rune-book", KIV_METHOD_GET);
    mastery_book = Find("/kiv-collections/v1/inventories/{summonerId}/mastery-book", KIV_METHOD_GET);
    if (service->rune_book().cache().book.pages.empty()) std::abort();
  }
  ~Fixture() {
    record.callbacks->unload(record.plugin);
    loop.Detach(context.host_handle);
  }

  static kiv::host::LoopOptions Options() {
    kiv::host::LoopOptions options;
    options.record_limit = 64;  // the loop records every call; keep that bounded
    return options;
  }
  const ApiFunctionEntry* Find(const std::string& path, uint32_t method) const {
    for (uint32_t i = 0; i < record.description->function_count; ++i) {
      const ApiFunctionEntry& entry = record.description->functions[i];
      if (entry.method == method && path == entry.path) return &entry;
    }
    std::abort();
  }
  // One request through the plug-in's request callback; returns the
  // answer's top-level tag.
  uint32_t Request(const ApiFunctionEntry& function, const std::string& path) const {
    HostRequest request{};
    request.method = function.method;
    request.path = path.c_str();
    request.function = &function;
    request.content_type = "";
    request.custom_method = "";
    request.host_handle = reinterpret_cast<void*>(uintptr_t{1});
    HostResponse response{};
    function.request(&response, &request);
    const uint32_t tag = response.body.tag;
    if (response.error != nullptr) std::abort();
    if (response.release != nullptr) response.release(&response);
    return tag;
  }
  // The floor: `value` converted to JSON text.
  template <class T>
  std::string ToJson(const T& value) const {
    Quarn::BindingResult converted;
    Quarn::ToBindingValue(converted, value, service->registry());
    return Quarn::ToJson(converted.value, &service->registry());
  }

  kiv::host::HostLoop loop;
  kiv::host::StandIns stand_ins;
  CollectionsService* service = nullptr;  // owned by the plug-in's unload
  PluginStartRecord record{};
  HostContext context{};
  uint64_t summoner = 0;
  std::string rune_book_path;
  std::string mastery_book_path;
  const ApiFunctionEntry* rune_book = nullptr;
  const ApiFunctionEntry* mastery_book = nullptr;
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

void CountBytes(benchmark::State& state, size_t bytes_per_request) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes_per_request));
}

void BM_CachedRuneBook_Ours(benchmark::State& state) {
  Fixture& f = Shared();
  for (auto _ : state) benchmark::DoNotOptimize(f.Request(*f.rune_book, f.rune_book_path));
  CountBytes(state, f.ToJson(f.service->rune_book().cache().book).size());
}
BENCHMARK(BM_CachedRuneBook_Ours);

void BM_CachedRuneBook_Anchor(benchmark::State& state) {
  Fixture& f = Shared();
  const auto& book = f.service->rune_book().cache().book;
  size_t bytes = 0;
  for (auto _ : state) {
    const std::string json = f.ToJson(book);
    bytes = json.size();
    benchmark::DoNotOptimize(json.data());
  }
  CountBytes(state, bytes);
}
BENCHMARK(BM_CachedRuneBook_Anchor);

void BM_MasteryBookThroughBackend_Ours(benchmark::State& state) {
  Fixture& f = Shared();
  for (auto _ : state) benchmark::DoNotOptimize(f.Request(*f.mastery_book, f.mastery_book_path));
  CountBytes(state, f.ToJson(f.service->mastery_book().cache().book).size());
}
BENCHMARK(BM_MasteryBookThroughBackend_Ours);

void BM_MasteryBookThroughBackend_Anchor(benchmark::State& state) {
  Fixture& f = Shared();
  const auto& book = f.service->mastery_book().cache().book;
  size_t bytes = 0;
  for (auto _ : state) {
    const std::string json = f.ToJson(book);
    bytes = json.size();
    benchmark::DoNotOptimize(json.data());
  }
  CountBytes(state, bytes);
}
BENCHMARK(BM_MasteryBookThroughBackend_Anchor);

}  // namespace
