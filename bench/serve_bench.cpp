// kiv serve's HTTP path: a small GET through the developer host and a
// plug-in built from the runtime (the probe fixture), against a bare
// cpp-httplib server that answers the same bytes with the same settings.
// 1, 3, 8 or 16 keep-alive connections send requests back to back; each
// run reports requests per second and the latency percentiles of one request.
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/dev_server.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRequestsPerConnection = 500;
constexpr const char* kPath = "/probe/v1/items/7";
// What the probe answers for kPath; the anchor answers it too.
constexpr const char* kBody = R"({"id":7,"name":"item 7","tags":["a","b"]})";
constexpr const char* kContentType = "application/json; charset=utf-8";

struct Latencies {
  std::vector<double> micros;
  size_t failures = 0;
  double seconds = 0;  // of the timed part
};

// `connections` clients, each on one keep-alive connection, each sending
// kRequestsPerConnection GETs one after the other. Connecting is not timed:
// every client connects with a first request, then all start together (a
// burst of connects can wait a second on a full listen queue, on either
// server).
Latencies Load(int port, int connections) {
  std::vector<Latencies> parts(static_cast<size_t>(connections));
  std::vector<std::thread> clients;
  std::latch connected(connections + 1);
  std::latch go(1);
  for (int c = 0; c < connections; ++c) {
    clients.emplace_back([port, &part = parts[c], &connected, &go] {
      httplib::Client client("127.0.0.1", port);
      client.set_keep_alive(true);
      client.set_tcp_nodelay(true);
      part.micros.reserve(kRequestsPerConnection);
      if (!client.Get(kPath)) ++part.failures;
      connected.count_down();
      go.wait();
      for (int i = 0; i < kRequestsPerConnection; ++i) {
        const auto start = Clock::now();
        auto result = client.Get(kPath);
        part.micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        if (!result || result->status != 200 || result->body != kBody) ++part.failures;
      }
    });
  }
  connected.arrive_and_wait();
  const auto start = Clock::now();
  go.count_down();
  for (auto& t : clients) t.join();
  Latencies all;
  all.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  for (auto& p : parts) {
    all.micros.insert(all.micros.end(), p.micros.begin(), p.micros.end());
    all.failures += p.failures;
  }
  return all;
}

void Measure(benchmark::State& state, int port) {
  const int connections = static_cast<int>(state.range(0));
  Latencies all;
  for (auto _ : state) {
    Latencies run = Load(port, connections);
    state.SetIterationTime(run.seconds);
    all.micros.insert(all.micros.end(), run.micros.begin(), run.micros.end());
    all.failures += run.failures;
  }
  if (all.failures != 0) state.SkipWithError("some requests failed");
  const auto requests = static_cast<int64_t>(all.micros.size());
  state.SetItemsProcessed(requests);
  state.SetBytesProcessed(requests * static_cast<int64_t>(std::char_traits<char>::length(kBody)));
  std::sort(all.micros.begin(), all.micros.end());
  const auto percentile = [&](double p) {
    return all.micros.empty()
               ? 0.0
               : all.micros[static_cast<size_t>(p * static_cast<double>(all.micros.size() - 1))];
  };
  state.counters["p50_us"] = percentile(0.50);
  state.counters["p90_us"] = percentile(0.90);
  state.counters["p99_us"] = percentile(0.99);
  state.counters["max_us"] = all.micros.empty() ? 0.0 : all.micros.back();
}

void BM_ServeGet_Ours(benchmark::State& state) {
  kiv::host::DevServerOptions options;
  options.plugin_path = KIV_BENCH_PLUGIN_PATH;
  options.port = 0;
  options.log_requests = false;
  auto server = kiv::host::DevServer::Start(std::move(options));
  if (server.HasFailure()) return state.SkipWithError(server.failure().message().c_str());
  Measure(state, server.value()->port());
}

void BM_ServeGet_Anchor(benchmark::State& state) {
  httplib::Server http;
  http.new_task_queue = [] { return new httplib::ThreadPool(64); };
  http.set_tcp_nodelay(true);
  http.set_keep_alive_max_count(1000000);
  http.Get(kPath,
           [](const httplib::Request&, httplib::Response& res) { res.set_content(kBody, kContentType); });
  const int port = http.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { http.listen_after_bind(); });
  while (!http.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  Measure(state, port);
  http.stop();
  serving.join();
}

BENCHMARK(BM_ServeGet_Ours)->ArgName("connections")->Arg(1)->Arg(3)->Arg(8)->Arg(16)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ServeGet_Anchor)->ArgName("connections")->Arg(1)->Arg(3)->Arg(8)->Arg(16)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

namespace {
// The loop's own share of one request: routing and the plug-in's call,
// without HTTP.
void BM_ServeDispatchOnLoop(benchmark::State& state) {
  kiv::host::DevServerOptions options;
  options.plugin_path = KIV_BENCH_PLUGIN_PATH;
  options.log_requests = false;
  auto server = kiv::host::DevServer::Start(std::move(options));
  if (server.HasFailure()) return state.SkipWithError(server.failure().message().c_str());
  kiv::host::DevServer& s = *server.value();
  s.RunOnLoop([&] {
    for (auto _ : state) {
      kiv::host::Request request;
      request.path = kPath;
      request.pairs = {{"host", "127.0.0.1:1"}, {"accept", "*/*"}, {"user-agent", "cpp-httplib/0.11"}};
      benchmark::DoNotOptimize(s.loop().Dispatch(std::move(request)));
    }
  });
}
BENCHMARK(BM_ServeDispatchOnLoop);
}  // namespace
