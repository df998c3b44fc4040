#include "host/dev_server.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <future>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>
#include <unordered_set>

#include "host/event_stream.h"
#include "host/openapi.h"
#include "host/sim_controls.h"
#include "host/standins/stand_ins.h"

namespace {

using kiv::host::OwnedValue;
using kiv::host::Request;
using kiv::host::Response;
using Clock = std::chrono::steady_clock;

constexpr std::string_view kLevelNames[] = {"  OKAY", "  WARN", " ERROR", "ALWAYS"};

// Worker threads: each keep-alive connection and each /events follower
// holds one while it is open.
constexpr size_t kHttpThreads = 64;

constexpr std::string_view kDocsPage = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>%TITLE% - kiv serve</title>
<link rel="stylesheet" href="/docs/swagger-ui.css">
<link rel="icon" type="image/png" href="/docs/favicon-32x32.png">
</head>
<body>
<div id="swagger-ui"></div>
<script src="/docs/swagger-ui-bundle.js"></script>
<script src="/docs/kiv-docs.js"></script>
</body>
</html>
)";

constexpr std::string_view kDocsScript = R"(window.ui = SwaggerUIBundle({
  url: "/openapi.json",
  dom_id: "#swagger-ui",
  deepLinking: true,
  validatorUrl: null,
  tryItOutEnabled: true,
  displayRequestDuration: true
});
)";

// The page and everything it loads come from this host only.
constexpr const char* kDocsPolicy =
    "default-src 'self'; img-src 'self' data:; style-src 'self' 'unsafe-inline'; script-src 'self'; "
    "connect-src 'self'; frame-ancestors 'none'";

thread_local Clock::time_point t_request_start;
// The server whose baton this thread holds, if any.
thread_local const void* t_baton_of = nullptr;
// Targets remembered as answering without a wait; forgotten all at once
// when there are this many.
constexpr size_t kQuickTargetsKept = 4096;

std::string ErrorJson(uint32_t status, std::string_view message) {
  return OwnedValue::Object(
             {{"httpStatus", OwnedValue::Unsigned(status)}, {"message", OwnedValue::Text(message)}})
      .ToJson();
}

void SetError(httplib::Response& res, uint32_t status, std::string_view message) {
  res.status = static_cast<int>(status);
  res.set_content(ErrorJson(status, message), "application/json; charset=utf-8");
}

std::string ReasonPhrase(int status) {
  switch (status) {
    case 400:
      return "Bad request";
    case 404:
      return "Not found";
    case 408:
      return "The request took too long to arrive";
    case 413:
      return "The request body is too large";
    case 414:
      return "The request target is too long";
    case 416:
      return "Range not satisfiable";
    case 431:
      return "The request headers are too large";
    default:
      return "HTTP error " + std::to_string(status);
  }
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// "127.0.0.1", "localhost", either with a port: what a browser sends for
// this server. Anything else may be a rebound DNS name.
bool AllowedHost(std::string_view host) {
  const size_t colon = host.rfind(':');
  if (colon != std::string_view::npos) {
    const std::string_view port = host.substr(colon + 1);
    if (port.empty() || port.find_first_not_of("0123456789") != std::string_view::npos) return false;
    host = host.substr(0, colon);
  }
  return host == "127.0.0.1" || Lower(std::string(host)) == "localhost";
}

bool SafeFileName(std::string_view name) {
  if (name.empty() || name.front() == '.') return false;
  return name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-") ==
         std::string_view::npos;
}

std::string ContentTypeOf(std::string_view name) {
  if (name.ends_with(".js")) return "application/javascript; charset=utf-8";
  if (name.ends_with(".css")) return "text/css; charset=utf-8";
  if (name.ends_with(".html")) return "text/html; charset=utf-8";
  if (name.ends_with(".png")) return "image/png";
  if (name.ends_with(".map") || name.ends_with(".json")) return "application/json";
  return "application/octet-stream";
}

void Replace(std::string& text, std::string_view from, std::string_view to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

struct kiv::host::DevServer::State {
  DevServerOptions options;
  std::unique_ptr<HostLoop> loop;
  std::thread loop_thread;
  std::thread::id loop_thread_id;
  std::atomic<bool> loop_running{true};
  std::unique_ptr<StandIns> stand_ins;
  std::unique_ptr<SimControls> sim;
  std::unique_ptr<PluginLibrary> plugin;
  std::string plugin_name;
  std::string openapi;
  EventStream events;

  httplib::Server http;
  std::thread http_thread;
  int port = 0;
  std::string own_origins[2];

  std::mutex stop_mutex;
  std::condition_variable stop_cv;
  bool stop_requested = false;

  // HTTP threads waiting for the loop's answers, each woken by its own
  // answer, all by shutdown. Guarded by answers_mutex.
  struct Pending {
    std::optional<Response> answer;
    std::condition_variable done;
  };
  std::mutex answers_mutex;
  std::unordered_set<Pending*> pendings;
  bool stopping = false;

  // Being the loop is a baton: only its holder steps the loop or calls into
  // the plug-in. The loop thread takes it for each step; an HTTP thread
  // takes it to run its own request at once, with no hand-over, when the
  // baton is free and nothing else is due. A request that waits inside the
  // plug-in steps the loop while holding it, so queued work still runs.
  std::timed_mutex baton;
  struct BatonHold {
    State& state;
    std::unique_lock<std::timed_mutex> lock;
    const void* previous;
    BatonHold(State& s, std::unique_lock<std::timed_mutex> held) : state(s), lock(std::move(held)), previous(t_baton_of) {
      t_baton_of = &state;
    }
    ~BatonHold() { t_baton_of = previous; }
  };
  bool HoldsBaton() const { return t_baton_of == this; }
  // Method and path of requests whose last run began no wait and took less
  // than a tenth of the request timeout. Only those run on the HTTP thread:
  // one that took long there could not be answered 504 in time. Guarded by
  // quick_mutex.
  std::mutex quick_mutex;
  std::unordered_set<std::string> quick_targets;
  void Remember(const std::string& target, bool quick);
  bool IsQuick(const std::string& target);
  // Runs `request` in the plug-in and remembers whether it was quick.
  Response RunRequest(Request request, const std::string& target);
  std::optional<Response> TryInline(Request& request, const std::string& target);

  std::mutex output_mutex;
  std::mutex files_mutex;
  std::map<std::string, std::string> files;  // swagger-ui files read so far

  void Print(std::string_view line) {
    if (!options.output) return;
    std::lock_guard lock(output_mutex);
    options.output(line);
  }
  void RunOnLoop(const std::function<void()>& work);
  void Shutdown();
  bool Check(const httplib::Request& req, httplib::Response& res);
  void Serve(const httplib::Request& req, httplib::Response& res);
  void ServeEvents(const httplib::Request& req, httplib::Response& res);
  void ServeDocs(std::string_view path, httplib::Response& res);
  void Dispatch(const httplib::Request& req, httplib::Response& res);
  void WriteAnswer(const Response& answer, bool head, httplib::Response& res);
};

void kiv::host::DevServer::State::RunOnLoop(const std::function<void()>& work) {
  if (std::this_thread::get_id() == loop_thread_id || HoldsBaton()) return work();
  std::promise<void> done;
  auto finished = done.get_future();
  loop->Post([&] {
    work();
    done.set_value();
  });
  finished.wait();
}

void kiv::host::DevServer::State::Shutdown() {
  {
    std::lock_guard lock(answers_mutex);
    stopping = true;
    for (Pending* p : pendings) p->done.notify_one();
  }
  events.Close();
  if (http_thread.joinable()) {
    http.stop();
    http_thread.join();
  }
  if (loop_thread.joinable()) {
    // Everything the plug-in holds goes before the loop that serves it. A
    // handler that waits steps the loop from inside the plug-in: the unload
    // runs once it has returned, never under it.
    std::promise<void> unloaded;
    auto done = unloaded.get_future();
    loop->PostOutsidePlugin(
        [&] {
          if (plugin) loop->UnloadPlugin(*plugin);
          plugin.reset();
          sim.reset();
          stand_ins.reset();
          loop->SetLogSink(nullptr);
          loop->SetObserver(nullptr);
          unloaded.set_value();
        },
        "unload");
    if (std::this_thread::get_id() == loop_thread_id || HoldsBaton()) {
      loop->RunUntil([&] { return done.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    }
    if (options.stop_deadline_seconds > 0 &&
        done.wait_for(std::chrono::duration<double>(options.stop_deadline_seconds)) !=
            std::future_status::ready &&
        options.on_stop_overdue) {
      std::string waits;
      for (const auto& label : loop->WaitLabels()) waits += (waits.empty() ? "" : ", ") + label;
      options.on_stop_overdue(waits);
    }
    done.wait();
    loop_running = false;
    loop->Post([] {});
    loop_thread.join();
  }
}

bool kiv::host::DevServer::State::Check(const httplib::Request& req, httplib::Response& res) {
  const std::string host = req.get_header_value("Host");
  if (host.empty()) {
    SetError(res, 403, "Requests must name the host 127.0.0.1 or localhost (no Host header)");
    return false;
  }
  if (!AllowedHost(host)) {
    SetError(res, 403, "Host '" + host + "' is not served here; use 127.0.0.1 or localhost");
    return false;
  }
  if (req.has_header("Origin")) {
    const std::string origin = req.get_header_value("Origin");
    if (origin != own_origins[0] && origin != own_origins[1]) {
      SetError(res, 403,
               "Requests from the origin '" + origin + "' are refused; only pages of " + own_origins[0] +
                   " may call this host");
      return false;
    }
  }
  return true;
}

void kiv::host::DevServer::State::Serve(const httplib::Request& req, httplib::Response& res) {
  const bool read = req.method == "GET" || req.method == "HEAD";
  const std::string& path = req.path;
  if (read && path == "/events") return ServeEvents(req, res);
  if (read && path == "/openapi.json") return res.set_content(openapi, "application/json; charset=utf-8");
  if (read && (path == "/docs" || path.starts_with("/docs/"))) return ServeDocs(path, res);
  Dispatch(req, res);
}

void kiv::host::DevServer::State::ServeEvents(const httplib::Request& req, httplib::Response& res) {
  const std::string name = req.has_param("name") ? req.get_param_value("name") : "OnJsonApiEvent";
  auto follower = events.Follow(name);
  if (!follower) {
    return SetError(res, 503,
                    "Too many event-stream followers: " + std::to_string(EventStream::kMaxFollowers) +
                        " are open; close one and try again");
  }
  auto started = std::make_shared<bool>(false);
  res.set_header("Cache-Control", "no-store");
  res.set_chunked_content_provider(
      "text/event-stream",
      [follower, started](size_t, httplib::DataSink& sink) {
        if (!*started) {
          // A first line at once, so the client sees the stream is open.
          *started = true;
          const std::string hello = ": following " + follower->name() + "\n\n";
          return sink.write(hello.data(), hello.size());
        }
        const std::optional<std::string> next = follower->Next(std::chrono::seconds(10));
        if (!next) {
          sink.done();
          return true;
        }
        // A comment now and then finds clients that went away.
        const std::string text = next->empty() ? ": keep-alive\n\n" : *next;
        return sink.write(text.data(), text.size());
      },
      [this, follower](bool) { events.Unfollow(follower); });
}

void kiv::host::DevServer::State::ServeDocs(std::string_view path, httplib::Response& res) {
  if (path == "/docs" || path == "/docs/" || path == "/docs/index.html") {
    std::string page(kDocsPage);
    Replace(page, "%TITLE%", HtmlEscape(plugin_name));
    res.set_header("Content-Security-Policy", kDocsPolicy);
    return res.set_content(page, "text/html; charset=utf-8");
  }
  const std::string_view name = path.substr(std::string_view("/docs/").size());
  if (name == "kiv-docs.js") return res.set_content(std::string(kDocsScript), ContentTypeOf(name));
  if (!SafeFileName(name)) return SetError(res, 404, "No such file: " + std::string(path));
  std::string body;
  {
    std::lock_guard lock(files_mutex);
    auto it = files.find(std::string(name));
    if (it == files.end()) {
      std::ifstream in(options.swagger_ui_dir + "/" + std::string(name), std::ios::binary);
      if (!in) {
        std::ifstream bundle(options.swagger_ui_dir + "/swagger-ui-bundle.js");
        if (!bundle) {
          return SetError(res, 503,
                          "Swagger UI is not installed in " + options.swagger_ui_dir +
                              "; run scripts/bootstrap.sh swagger-ui");
        }
        return SetError(res, 404, "No such file: " + std::string(path));
      }
      std::ostringstream text;
      text << in.rdbuf();
      it = files.emplace(std::string(name), text.str()).first;
    }
    body = it->second;
  }
  res.set_content(std::move(body), ContentTypeOf(name));
}

kiv::host::Response kiv::host::DevServer::State::RunRequest(Request request, const std::string& target) {
  const uint64_t blocking_before = loop->blocking_calls();
  const auto start = Clock::now();
  // HEAD on something only GET serves answers as GET would, without the
  // body (the library drops it).
  if (request.method == KIV_METHOD_HEAD) {
    const RouteLookup lookup = loop->LookupRoute(KIV_METHOD_HEAD, {}, request.path);
    const auto& allowed = lookup.allowed;
    if (lookup.kind == RouteLookup::Kind::kWrongMethod &&
        std::find(allowed.begin(), allowed.end(), "GET") != allowed.end())
      request.method = KIV_METHOD_GET;
  }
  Response out = loop->Dispatch(std::move(request));
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  Remember(target, loop->blocking_calls() == blocking_before && seconds < options.request_timeout_seconds / 10);
  return out;
}

void kiv::host::DevServer::State::Remember(const std::string& target, bool quick) {
  std::lock_guard lock(quick_mutex);
  if (!quick) {
    quick_targets.erase(target);
    return;
  }
  if (quick_targets.size() >= kQuickTargetsKept) quick_targets.clear();
  quick_targets.insert(target);
}

bool kiv::host::DevServer::State::IsQuick(const std::string& target) {
  std::lock_guard lock(quick_mutex);
  return quick_targets.count(target) != 0;
}

std::optional<kiv::host::Response> kiv::host::DevServer::State::TryInline(Request& request,
                                                                          const std::string& target) {
  if (!IsQuick(target)) return std::nullopt;
  // Another quick request holds the baton for microseconds: wait for it.
  // One that waits inside the plug-in serves the queue meanwhile: queue.
  std::unique_lock held(baton, std::defer_lock);
  for (int round = 0; !held.try_lock_for(std::chrono::microseconds(500)); ++round) {
    if (round == 10 || loop->open_waits() != 0) return std::nullopt;
  }
  {
    std::lock_guard lock(answers_mutex);
    if (stopping) return std::nullopt;
  }
  // Work already due (a timer, an event, a request queued a moment ago)
  // keeps its place in front: the loop thread runs it.
  if (loop->WaitForWork(std::chrono::milliseconds(0))) return std::nullopt;
  BatonHold hold(*this, std::move(held));
  return RunRequest(std::move(request), target);
}

void kiv::host::DevServer::State::Dispatch(const httplib::Request& req, httplib::Response& res) {
  Request request;
  request.method = MethodCode(req.method);
  if (request.method == KIV_METHOD_NONE) {
    request.method = KIV_METHOD_CUSTOM;
    request.custom_method = req.method;
  }
  // The raw target keeps the query string and the path's escapes; the
  // plug-in decodes its own captures.
  request.path = req.target.empty() ? req.path : req.target;
  for (const auto& [name, value] : req.headers) request.pairs.emplace_back(Lower(name), value);
  request.content_type = req.get_header_value("Content-Type");
  request.body = req.body;

  std::string target = std::string(request.MethodText()) + ' ' + std::string(PathWithoutQuery(request.path));
  if (std::optional<Response> out = TryInline(request, target)) return WriteAnswer(*out, req.method == "HEAD", res);

  // Shared: a request answered 504 may still finish later.
  auto pending = std::make_shared<Pending>();
  {
    std::lock_guard lock(answers_mutex);
    pendings.insert(pending.get());
  }
  struct Unlist {
    State& state;
    Pending* pending;
    ~Unlist() {
      std::lock_guard lock(state.answers_mutex);
      state.pendings.erase(pending);
    }
  } unlist{*this, pending.get()};
  const uint64_t ticket = loop->Post([this, pending, request = std::move(request), target = std::move(target)]() mutable {
    Response out = RunRequest(std::move(request), target);
    std::lock_guard lock(answers_mutex);
    pending->answer = std::move(out);
    pending->done.notify_one();
  });
  const auto& answer = pending->answer;
  const auto deadline =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(
                         std::chrono::duration<double>(options.request_timeout_seconds));
  std::unique_lock lock(answers_mutex);
  pending->done.wait_until(lock, deadline, [&] { return answer.has_value() || stopping; });
  if (answer.has_value()) {
    const Response out = std::move(*pending->answer);
    lock.unlock();
    return WriteAnswer(out, req.method == "HEAD", res);
  }
  const bool was_stopping = stopping;
  lock.unlock();
  // Not started: take it out, so a save the client is told failed is never
  // applied later. Started: say that it still runs.
  const bool dropped = loop->Cancel(ticket);
  if (!dropped) {
    lock.lock();
    if (answer.has_value()) {
      const Response out = std::move(*pending->answer);
      lock.unlock();
      return WriteAnswer(out, req.method == "HEAD", res);
    }
    lock.unlock();
  }
  if (was_stopping) {
    return SetError(res, 503,
                    dropped ? "The host is stopping; the request was not run"
                            : "The host is stopping; the request is still running in the plug-in");
  }
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%g", options.request_timeout_seconds);
  if (dropped) {
    return SetError(res, 504,
                    "The host could not start the request within " + std::string(seconds) +
                        " s (the plug-in was busy); it was dropped and will not run");
  }
  std::string waits;
  for (const auto& label : loop->WaitLabels()) waits += (waits.empty() ? "" : ", ") + label;
  SetError(res, 504,
           "The plug-in did not answer within " + std::string(seconds) + " s and is still running" +
               (waits.empty() ? std::string() : "; it is waiting for " + waits));
}

void kiv::host::DevServer::State::WriteAnswer(const Response& answer, bool head, httplib::Response& res) {
  for (const auto& [name, value] : answer.headers) {
    const std::string lower = Lower(name);
    if (lower == "content-length" || lower == "transfer-encoding" || lower == "connection" ||
        lower == "content-type")
      continue;
    res.set_header(name.c_str(), value);
  }
  uint32_t status = answer.status;
  if (answer.error) {
    if (status == 0) status = 400;
    if (status < 100 || status > 599) {
      return SetError(res, 500,
                      "The plug-in failed with the invalid status " + std::to_string(answer.status) + ": " +
                          *answer.error);
    }
    return SetError(res, status, *answer.error);
  }
  if (status == 0) status = 200;
  if (status < 100 || status > 599)
    return SetError(res, 500, "The plug-in answered with the invalid status " + std::to_string(status));
  const HostValue& body = answer.body.get();
  if (body.tag == KIV_VALUE_NULL || status == 204) {
    // HEAD only asks whether something is there: keep its 200.
    res.status = status == 200 && !head ? 204 : static_cast<int>(status);
    return;
  }
  res.status = static_cast<int>(status);
  if (body.tag == KIV_VALUE_BYTES || body.tag == KIV_VALUE_BYTES_OWNED) {
    const auto* bytes = static_cast<const char*>(body.data.seq.data);
    const std::string type = answer.content_type.empty() ? "application/octet-stream" : answer.content_type;
    return res.set_content(std::string(bytes != nullptr ? bytes : "", body.data.seq.count), type);
  }
  res.set_content(ToJson(body), "application/json; charset=utf-8");
}

// ------------------------------------------------------------------ life

kiv::host::DevServer::DevServer(std::unique_ptr<State> state) : state_(std::move(state)) {}

kiv::host::DevServer::~DevServer() { state_->Shutdown(); }

Quarn::Maybe<std::unique_ptr<kiv::host::DevServer>> kiv::host::DevServer::Start(DevServerOptions options) {
  auto s = std::make_unique<State>();
  s->options = std::move(options);
  LoopOptions loop_options;
  loop_options.idle_step_wait_seconds = 0.005;
  loop_options.record_limit = 100000;
  loop_options.record_bytes_limit = size_t{8} << 20;  // a long session with large bodies stays bounded
  s->loop = std::make_unique<HostLoop>(loop_options);
  State* raw = s.get();
  std::promise<std::thread::id> started;
  auto loop_id = started.get_future();
  s->loop_thread = std::thread([raw, &started] {
    started.set_value(std::this_thread::get_id());
    while (raw->loop_running) {
      raw->loop->WaitForWork(std::chrono::milliseconds(100));
      State::BatonHold hold(*raw, std::unique_lock(raw->baton));
      raw->loop->Step();
    }
  });
  s->loop_thread_id = loop_id.get();

  std::optional<Quarn::Failure> failure;
  const WorldLogin login = raw->options.world.login;
  const bool log_in_later = login.logged_in && raw->options.log_in_after_load;
  if (log_in_later) raw->options.world.login.logged_in = false;
  raw->RunOnLoop([&] {
    raw->stand_ins = std::make_unique<StandIns>(*raw->loop, std::move(raw->options.world));
    raw->sim = std::make_unique<SimControls>(*raw->loop, *raw->stand_ins, nullptr);
    raw->loop->Listen(
        "*", [raw](std::string_view name, const HostValue& payload) { raw->events.Publish(name, payload); });
    raw->loop->SetLogSink([raw](const LogLine& line) {
      const std::string_view level = line.level < std::size(kLevelNames) ? kLevelNames[line.level] : "     ?";
      raw->Print("  plug-in " + std::string(level) + "  " + line.text);
    });
    raw->loop->SetObserver(raw->options.observer);
    raw->Print("loading " + raw->options.plugin_path + " (core plug-in API " +
               raw->options.load.core_version.ToString() + ")");
    auto loaded = raw->loop->LoadPlugin(raw->options.plugin_path, raw->options.load);
    if (loaded.HasFailure()) {
      failure = loaded.TakeFailure();
      return;
    }
    raw->plugin = loaded.TakeValue();
    raw->sim->SetPlugin(raw->plugin.get());
    raw->plugin_name = std::string(raw->plugin->short_name());
    OpenApiInfo info;
    info.title = raw->plugin_name + " (" + BackendFullName(raw->plugin_name) + ")";
    info.version = raw->plugin->api_version().ToString();
    info.description = "The functions of the plug-in's API description, served by kiv serve.";
    raw->openapi = BuildOpenApi(raw->plugin->description(), info);
    if (!log_in_later) return;
    auto logged_in = raw->stand_ins->LogIn(login.summoner_id, login.state);
    if (logged_in.ok() && !login.connected) logged_in = raw->stand_ins->SetConnected(false);
    if (logged_in.HasFailure()) raw->Print("could not log in: " + logged_in.failure().message());
    // The plug-in takes the login in before anyone is served.
    raw->loop->RunUntilIdle(10000);
  });
  if (failure) {
    s->Shutdown();
    return std::move(*failure);
  }

  httplib::Server& http = s->http;
  http.new_task_queue = [] { return new httplib::ThreadPool(kHttpThreads); };
  // Small answers otherwise wait on Nagle's algorithm and the client's
  // delayed acknowledgement; and one connection serves many requests.
  http.set_tcp_nodelay(true);
  http.set_keep_alive_max_count(1000000);
  // An idle connection holds a worker: let it go soon.
  http.set_keep_alive_timeout(5);
  http.set_payload_max_length(64u << 20);
  http.set_pre_routing_handler([raw](const httplib::Request& req, httplib::Response& res) {
    t_request_start = Clock::now();
    if (!raw->Check(req, res)) return httplib::Server::HandlerResponse::Handled;
    // A request without a body is served here, before the library would
    // wait for a body that a bare "curl -X POST" never sends.
    if (!req.has_header("Content-Length") && !req.has_header("Transfer-Encoding")) {
      raw->Serve(req, res);
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  // The library's own refusals (a malformed request, a body too large) in
  // the same shape as every other error.
  http.set_error_handler(
      httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty() || res.has_header("Content-Type"))
          return httplib::Server::HandlerResponse::Unhandled;
        SetError(res, static_cast<uint32_t>(res.status), ReasonPhrase(res.status));
        return httplib::Server::HandlerResponse::Handled;
      }));
  const auto serve = [raw](const httplib::Request& req, httplib::Response& res) { raw->Serve(req, res); };
  http.Get(".*", serve);
  http.Post(".*", serve);
  http.Put(".*", serve);
  http.Patch(".*", serve);
  http.Delete(".*", serve);
  http.Options(".*", serve);
  if (s->options.log_requests)
    http.set_logger([raw](const httplib::Request& req, const httplib::Response& res) {
      const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t_request_start).count();
      char line[64];
      std::snprintf(line, sizeof line, " %d %.1f ms", res.status, ms);
      raw->Print(req.method + " " + (req.target.empty() ? req.path : req.target) + line);
    });
  int port = s->options.port;
  if (port == 0) {
    port = http.bind_to_any_port("127.0.0.1");
  } else if (!http.bind_to_port("127.0.0.1", port)) {
    port = -1;
  }
  if (port <= 0) {
    s->Shutdown();
    return Quarn::Failure("cannot listen on 127.0.0.1:" + std::to_string(s->options.port) +
                          " (is another program using that port?)");
  }
  s->port = port;
  s->own_origins[0] = "http://127.0.0.1:" + std::to_string(port);
  s->own_origins[1] = "http://localhost:" + std::to_string(port);
  s->http_thread = std::thread([raw] { raw->http.listen_after_bind(); });
  for (int i = 0; i < 5000 && !http.is_running(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return std::unique_ptr<DevServer>(new DevServer(std::move(s)));
}

int kiv::host::DevServer::port() const { return state_->port; }

std::string kiv::host::DevServer::url() const { return "http://127.0.0.1:" + std::to_string(state_->port); }

const std::string& kiv::host::DevServer::plugin_name() const { return state_->plugin_name; }

void kiv::host::DevServer::Wait() {
  std::unique_lock lock(state_->stop_mutex);
  state_->stop_cv.wait(lock, [&] { return state_->stop_requested; });
}

void kiv::host::DevServer::Stop() {
  {
    std::lock_guard lock(state_->stop_mutex);
    state_->stop_requested = true;
  }
  state_->stop_cv.notify_all();
}

void kiv::host::DevServer::RunOnLoop(const std::function<void()>& work) { state_->RunOnLoop(work); }

kiv::host::HostLoop& kiv::host::DevServer::loop() { return *state_->loop; }

kiv::host::StandIns& kiv::host::DevServer::stand_ins() { return *state_->stand_ins; }

const kiv::host::PluginLibrary& kiv::host::DevServer::plugin() const { return *state_->plugin; }

const std::string& kiv::host::DevServer::openapi_json() const { return state_->openapi; }
