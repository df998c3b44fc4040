// kiv serve: runs a plug-in in the developer host and serves it over HTTP
// on 127.0.0.1, with stand-ins for the client's other plug-ins and the
// backend over a world file.
#include <pthread.h>
#include <signal.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>

#include "host/dev_server.h"
#include "host/line_writer.h"
#include "host/session/recording_writer.h"
#include "host/standins/stand_ins.h"
#include "host/world.h"
#include "tools/kiv/commands.h"

#ifndef KIV_SWAGGER_UI_DIR
#define KIV_SWAGGER_UI_DIR KIV_SOURCE_DIR "/build/web/node_modules/swagger-ui-dist"
#endif

namespace {

constexpr const char* kUsage =
    "usage: kiv serve [--plugin PATH] [--world FILE] [--port N] [options]\n"
    "\n"
    "Runs a plug-in in the developer host and serves it over HTTP on 127.0.0.1\n"
    "only, with stand-ins for the client's other plug-ins (login, summoner, game\n"
    "data, recently played, platform configuration, telemetry) and the backend,\n"
    "all serving a world file.\n"
    "\n"
    "  --plugin PATH          the plug-in library (default: the built plug-in,\n"
    "                         %s)\n"
    "  --world FILE           the world: JSON, or YAML for .yaml/.yml (default\n"
    "                         %s)\n"
    "  --port N               the port; 0 picks a free one (default 8080)\n"
    "  --logged-out           start with nobody logged in (POST /sim/login logs in)\n"
    "  --latency MS           service-proxy answers arrive MS milliseconds late\n"
    "  --core-version X.Y.Z   the core's plug-in API version to offer (default 18.0.0)\n"
    "  --entry NAME           the entry function (default: load_ + the file name)\n"
    "  --web-dir DIR          where swagger-ui-dist lies (default %s)\n"
    "  --timeout S            answer 504 when the plug-in takes longer (default 30)\n"
    "  --quiet                no line per request\n"
    "  --record FILE          write the session to FILE, one JSON object a line:\n"
    "                         requests and answers, the plug-in's calls and the\n"
    "                         answers it got, events (kiv replay FILE checks a\n"
    "                         build against it)\n"
    "  --help                 this text\n"
    "\n"
    "What it serves:\n"
    "  <method> <path>        every function of the plug-in's API description;\n"
    "                         the status the plug-in set (0: 200, or 400 for an\n"
    "                         error), 204 for an empty success, errors as\n"
    "                         {\"httpStatus\": N, \"message\": \"...\"}\n"
    "  GET <stand-in path>    the world as the plug-in sees it, e.g.\n"
    "                         /kiv-login/v1/session, /kiv-summoner/v1/current-summoner\n"
    "  GET /events[?name=N]   Server-Sent Events: each published resource event\n"
    "                         (its OnJsonApiEvent copy), or the events named N\n"
    "                         (\"*\" for all); follow with curl -N\n"
    "  GET /openapi.json      OpenAPI 3.1, from the API description\n"
    "  GET /docs              Swagger UI over it, with Try it out\n"
    "  /sim/...               simulation controls; GET /sim lists them:\n"
    "    POST /sim/login {summonerId?, state?}   POST /sim/logout\n"
    "    POST /sim/disconnect   POST /sim/reconnect\n"
    "    POST /sim/push {className, body}        a backend push message\n"
    "    POST /sim/platform-config {namespace, key, value}\n"
    "    POST /sim/profile-icon {iconId}   POST /sim/recent-games {games | add}\n"
    "    POST /sim/grant {inventoryType, itemId, quantity?, rental?, notify?}\n"
    "    POST /sim/champion-mastery {championId, ...}   POST /sim/chest-eligibility {...}\n"
    "    POST /sim/backdrop-assets {iconId, webm, jpg}\n"
    "    GET|PUT /sim/world   GET|POST|DELETE /sim/faults {target, method?, status?, message?, times?}\n"
    "    POST /sim/latency {serviceProxyMs}   GET|DELETE /sim/calls   GET /sim/log   GET /sim/memory\n"
    "\n"
    "Requests naming another host than 127.0.0.1 or localhost, or carrying\n"
    "another page's Origin, are refused with 403. Ctrl-C stops the host once the\n"
    "plug-in's handlers have returned (at most 5 s); a second Ctrl-C at once.\n";

// How long a stop may take: a plug-in stuck in a wait holds its unload back.
constexpr double kStopDeadlineSeconds = 5;

// A GET function of the plug-in with its placeholders filled, for the
// example commands: the first that answers a structure, else the first.
std::string ExampleRoute(const ApiDescription& d, uint64_t summoner_id) {
  const ApiFunctionEntry* chosen = nullptr;
  for (uint32_t i = 0; i < d.function_count; ++i) {
    const ApiFunctionEntry& f = d.functions[i];
    if (f.method != KIV_METHOD_GET || f.path == nullptr || f.path[0] != '/') continue;
    if (chosen == nullptr) chosen = &f;
    if (f.result.kind == KIV_TYPE_STRUCT) {
      chosen = &f;
      break;
    }
  }
  if (chosen != nullptr) {
    const ApiFunctionEntry& f = *chosen;
    std::string path;
    for (const char* p = f.path; *p != '\0'; ++p) {
      if (*p != '{') {
        path += *p;
        continue;
      }
      const char* end = p;
      while (*end != '\0' && *end != '}') ++end;
      const std::string name(p + 1, end);
      path += name == "summonerId" ? std::to_string(summoner_id) : "1";
      if (*end == '\0') break;
      p = end;
    }
    return path;
  }
  return {};
}

}  // namespace

int kiv::RunServe(int argc, char** argv) {
  host::DevServerOptions options;
  options.plugin_path = KIV_DEFAULT_PLUGIN;
  options.port = 8080;
  options.stop_deadline_seconds = kStopDeadlineSeconds;
  options.on_stop_overdue = [](std::string_view waits) {
    std::fflush(stdout);
    std::fprintf(stderr, "kiv serve: the host did not stop within %g s%s; exiting\n", kStopDeadlineSeconds,
                 waits.empty() ? "" : ("; the plug-in is still waiting for " + std::string(waits)).c_str());
    _exit(1);
  };
  const char* env_web = std::getenv("KIV_SWAGGER_UI_DIR");
  options.swagger_ui_dir = env_web != nullptr ? env_web : KIV_SWAGGER_UI_DIR;
  std::string world_path = KIV_SOURCE_DIR "/worlds/default.json";
  bool logged_out = false;
  double latency_ms = 0;
  std::string record_path;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool has_value = i + 1 < argc;
    auto number = [&](double& out, double low, double high) {
      char* end = nullptr;
      const double v = std::strtod(argv[++i], &end);
      if (end == argv[i] || *end != '\0' || !(v >= low && v <= high)) {
        std::fprintf(stderr, "kiv serve: %s needs a number from %g to %g, got '%s'\n", argv[i - 1], low, high,
                     argv[i]);
        return false;
      }
      out = v;
      return true;
    };
    double value = 0;
    if (arg == "--help" || arg == "-h") {
      std::printf(kUsage, KIV_DEFAULT_PLUGIN, KIV_SOURCE_DIR "/worlds/default.json", KIV_SWAGGER_UI_DIR);
      return 0;
    } else if (arg == "--plugin" && has_value) {
      options.plugin_path = argv[++i];
    } else if (arg == "--world" && has_value) {
      world_path = argv[++i];
    } else if (arg == "--port" && has_value) {
      if (!number(value, 0, 65535) || value != static_cast<int>(value)) return 2;
      options.port = static_cast<int>(value);
    } else if (arg == "--latency" && has_value) {
      if (!number(latency_ms, 0, 3600000)) return 2;
    } else if (arg == "--timeout" && has_value) {
      if (!number(options.request_timeout_seconds, 0.001, 86400)) return 2;
    } else if (arg == "--core-version" && has_value) {
      auto version = host::ApiVersion::Parse(argv[++i]);
      if (version.HasFailure()) {
        std::fprintf(stderr, "kiv serve: %s\n", version.failure().message().c_str());
        return 2;
      }
      options.load.core_version = version.value();
    } else if (arg == "--entry" && has_value) {
      options.load.entry_name = argv[++i];
    } else if (arg == "--web-dir" && has_value) {
      options.swagger_ui_dir = argv[++i];
    } else if (arg == "--logged-out") {
      logged_out = true;
    } else if (arg == "--record" && has_value) {
      record_path = argv[++i];
    } else if (arg == "--quiet") {
      options.log_requests = false;
    } else {
      std::fprintf(stderr, "kiv serve: unknown or incomplete option '%s' (kiv serve --help lists them)\n",
                   argv[i]);
      return 2;
    }
  }

  auto world = host::LoadWorld(world_path);
  if (world.HasFailure()) {
    std::fprintf(stderr, "kiv serve: the world file will not load:\n%s\n", world.failure().message().c_str());
    return 1;
  }
  options.world = world.TakeValue();
  if (logged_out) options.world.login.logged_in = false;
  std::unique_ptr<host::session::RecordingWriter> recorder;
  if (!record_path.empty()) {
    auto created = host::session::RecordingWriter::Create(record_path);
    if (created.HasFailure()) {
      std::fprintf(stderr, "kiv serve: %s\n", created.failure().message().c_str());
      return 1;
    }
    recorder = created.TakeValue();
    options.observer = recorder.get();
  }

  // Ctrl-C and SIGTERM are taken by one thread, so every other thread
  // (the loop, the HTTP workers) runs undisturbed until the host stops.
  // A shell without job control starts background programs with Ctrl-C
  // ignored, and an ignored signal never reaches sigwait: take both back.
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  // Started after the mask, so that its thread takes no signal either.
  host::LineWriter lines(stdout);
  options.output = [&lines](std::string_view line) { lines.Append(line); };

  auto started = host::DevServer::Start(std::move(options));
  if (started.HasFailure()) {
    std::fprintf(stderr, "kiv serve: %s\n", started.failure().message().c_str());
    return 1;
  }
  std::unique_ptr<host::DevServer> server = started.TakeValue();
  server->RunOnLoop([&] { server->stand_ins().SetServiceProxyLatency(latency_ms / 1000.0); });

  const host::PluginLibrary& plugin = server->plugin();
  const ApiDescription& d = plugin.description();
  std::string who = "nobody logged in";
  uint64_t summoner_id = 0;
  size_t summoners = 0;
  server->RunOnLoop([&] {
    const host::World& w = server->stand_ins().world();
    summoners = w.summoners.size();
    if (const host::WorldSummoner* s = w.Current()) {
      summoner_id = s->summoner_id;
      who = s->display_name + " (summoner " + std::to_string(s->summoner_id) + ") logged in";
    } else if (!w.summoners.empty()) {
      summoner_id = w.summoners.front().summoner_id;
    }
  });
  const std::string url = server->url();
  const std::string name(plugin.short_name());
  lines.Flush();
  std::printf("kiv serve: %s (%s), plug-in API %s, core %s\n", name.c_str(),
              host::BackendFullName(name).c_str(), plugin.api_version().ToString().c_str(),
              plugin.core_version().ToString().c_str());
  std::printf("  %u functions, %u types, %u events\n", d.function_count, d.type_count, d.event_count);
  std::printf("  world %s: %zu summoner%s, %s\n", world_path.c_str(), summoners, summoners == 1 ? "" : "s",
              who.c_str());
  std::printf("serving on %s   (Ctrl-C stops)\n", url.c_str());
  std::printf("  curl %s/kiv-login/v1/session\n", url.c_str());
  const std::string example = ExampleRoute(d, summoner_id);
  if (!example.empty()) std::printf("  curl %s%s\n", url.c_str(), example.c_str());
  std::printf("  curl -N %s/events\n", url.c_str());
  std::printf("  curl -X POST %s/sim/logout        (GET %s/sim lists the controls)\n", url.c_str(),
              url.c_str());
  std::printf("  open %s/docs   (the API, with Try it out)\n", url.c_str());
  std::fflush(stdout);

  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    int signal = 0;
    sigwait(&signals, &signal);
    server->Stop();
    while (!stopped) {
      const timespec tick{0, 100 * 1000 * 1000};
      if (sigtimedwait(&signals, nullptr, &tick) > 0) {
        std::fflush(stdout);
        std::fputs("kiv serve: interrupted again, exiting at once\n", stderr);
        _exit(130);
      }
    }
  });
  server->Wait();
  lines.Flush();
  std::printf("kiv serve: stopping\n");
  std::fflush(stdout);
  server.reset();
  stopped = true;
  stopper.join();
  return 0;
}
