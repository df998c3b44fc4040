// Request dispatch through the real entry (match, bind, invoke, write,
// release) against the floor (the result value alone converted to a
// HostValue and released) and against compiling the route's pattern with a
// regular-expression engine on every request.
//
// Pairs for the summary (scripts/run_bench.sh): DispatchGet (ours / floor),
// DispatchGetVsRegex (ours / pattern compiled per request), DispatchPut
// (ours / the body alone parsed and converted into the structure). Both
// sides of a pair count the same bytes per request (the request path, or
// the body), so the throughput ratio is the inverse time ratio.
#include <benchmark/benchmark.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "api/binding_api.h"
#include "api/dispatch.h"
#include "api/request_binding.h"
#include "api/response_writer.h"
#include "api/route_matcher.h"
#include "binding/host_value_conversion.h"
#include "binding/json_reader.h"
#include "binding/native_conversion.h"

namespace {

using Quarn::Maybe;

struct WardSkin {
  uint64_t id = 0;
  std::string name;
  bool owned = false;
  int32_t rental_days = 0;
};

struct RunePage {
  uint64_t id = 0;
  std::string name;
  std::string description;
  std::vector<int32_t> perks;
  bool current = false;
  int32_t primary_style = 0;
  int32_t sub_style = 0;
};

constexpr const char* kGetTemplate = "/kiv-collections/v1/inventories/{summonerId}/ward-skins";
constexpr const char* kGetPath = "/kiv-collections/v1/inventories/2743991/ward-skins";
constexpr const char* kPutPath = "/kiv-collections/v1/inventories/2743991/rune-pages";

WardSkin MakeSkin(uint64_t id) { return WardSkin{id, "Ward of the Harvest Moon", true, 3}; }

// About 2 KB of JSON for a rune page.
std::string PageJson() {
  // Built with appends: GCC 12 at -O3 warns (-Wrestrict) on literal + string.
  std::string json = R"({"id":77,"name":"Aggressive mid","current":true,"primaryStyle":8100,"subStyle":8300,)";
  json.append(R"("description":")").append(900, 'd').append(R"(","perks":[)");
  for (int i = 0; i < 160; ++i) {
    if (i > 0) json.push_back(',');
    json.append(std::to_string(8000 + i * 7));
  }
  json.append("]}");
  return json;
}

struct Fixture {
  Fixture() {
    api.registry()
        .Structure<WardSkin>("WardSkin")
        .Field("id", &WardSkin::id)
        .Field("name", &WardSkin::name)
        .Field("owned", &WardSkin::owned)
        .Field("rentalDays", &WardSkin::rental_days);
    api.registry()
        .Structure<RunePage>("RunePage")
        .Field("id", &RunePage::id)
        .Field("name", &RunePage::name)
        .Field("description", &RunePage::description)
        .Field("perks", &RunePage::perks)
        .Field("current", &RunePage::current)
        .Field("primaryStyle", &RunePage::primary_style)
        .Field("subStyle", &RunePage::sub_style);
    get = api.Get(kGetTemplate, [](uint64_t summoner) -> Maybe<WardSkin> { return MakeSkin(summoner); })
              .Path("summonerId")
              .function();
    put = api.Put("/kiv-collections/v1/inventories/{summonerId}/rune-pages",
                  [](uint64_t summoner, RunePage page) -> Maybe<uint64_t> {
                    return summoner + page.perks.size();
                  })
              .Path("summonerId")
              .Body("page")
              .function();
    body = PageJson();
  }

  Quarn::BindingApi api;
  const Quarn::BindingFunction* get = nullptr;
  const Quarn::BindingFunction* put = nullptr;
  std::string body;
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

HostRequest GetRequest() {
  HostRequest request{};
  request.method = KIV_METHOD_GET;
  request.path = kGetPath;
  return request;
}

void CountGetBytes(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(std::strlen(kGetPath)));
}

void DispatchGet(benchmark::State& state) {
  Fixture& f = Shared();
  const HostRequest request = GetRequest();
  for (auto _ : state) {
    HostResponse response;
    Quarn::DispatchRequest(f.api, *f.get, response, request);
    benchmark::DoNotOptimize(response.body.tag);
    response.release(&response);
  }
  CountGetBytes(state);
}
void BM_DispatchGet_Ours(benchmark::State& state) { DispatchGet(state); }
void BM_DispatchGetVsRegex_Ours(benchmark::State& state) { DispatchGet(state); }
BENCHMARK(BM_DispatchGet_Ours);
BENCHMARK(BM_DispatchGetVsRegex_Ours);

void BM_DispatchPut_Ours(benchmark::State& state) {
  Fixture& f = Shared();
  HostRequest request{};
  request.method = KIV_METHOD_PUT;
  request.path = kPutPath;
  request.content_type = "application/json";
  request.body = reinterpret_cast<const uint8_t*>(f.body.c_str());
  request.body_length = static_cast<uint32_t>(f.body.size());
  for (auto _ : state) {
    HostResponse response;
    Quarn::DispatchRequest(f.api, *f.put, response, request);
    benchmark::DoNotOptimize(response.body.data.u64);
    response.release(&response);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.body.size()));
}
BENCHMARK(BM_DispatchPut_Ours);

// The floor for PUT: the body alone read and converted into the structure.
void BM_DispatchPut_Anchor(benchmark::State& state) {
  Fixture& f = Shared();
  for (auto _ : state) {
    Quarn::BindingResult parsed = Quarn::FromJson(f.body);
    RunePage page;
    Quarn::FromBindingValue(parsed, parsed.value, "page", page, f.api.registry());
    benchmark::DoNotOptimize(page.perks.size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.body.size()));
}
BENCHMARK(BM_DispatchPut_Anchor);

// The floor for GET: what any dispatch must do with the handler's result.
void BM_DispatchGet_Anchor(benchmark::State& state) {
  Fixture& f = Shared();
  for (auto _ : state) {
    Quarn::BindingResult result;
    Quarn::ToBindingValue(result, MakeSkin(2743991), f.api.registry());
    HostValue value{};
    Quarn::ToHostValue(value, result.value, &f.api.registry());
    benchmark::DoNotOptimize(value.tag);
    Quarn::ReleaseHostValue(value);
  }
  CountGetBytes(state);
}
BENCHMARK(BM_DispatchGet_Anchor);

// The naive way: the route's pattern compiled for every request, then the
// same binding, invocation and response writing.
void BM_DispatchGetVsRegex_Anchor(benchmark::State& state) {
  Fixture& f = Shared();
  const HostRequest request = GetRequest();
  for (auto _ : state) {
    HostResponse response;
    const std::regex pattern(f.get->route().pattern(), std::regex::ECMAScript);
    std::cmatch groups;
    const std::string_view path = Quarn::RoutePath(request.path);
    Quarn::MatchState match;
    match.method = Quarn::Method::Get;
    match.path = request.path;
    if (std::regex_match(path.data(), path.data() + path.size(), groups, pattern)) {
      match.function = f.get;
      for (size_t i = 1; i < groups.size(); ++i) {
        match.path_arguments.emplace_back(
            f.get->route().captures()[i - 1].name,
            Quarn::UrlDecode(std::string_view(groups[i].first, groups[i].second)));
      }
    }
    Quarn::CallResult call;
    Quarn::BindAndInvoke(call, *f.get, request, match, f.api.registry());
    Quarn::WriteResponse(response, call, f.api.registry());
    benchmark::DoNotOptimize(response.body.tag);
    response.release(&response);
  }
  CountGetBytes(state);
}
BENCHMARK(BM_DispatchGetVsRegex_Anchor);

}  // namespace
