// DevServer: the developer host. It runs one plug-in in a HostLoop on a loop
// thread of its own, with the stand-ins for the client's other plug-ins and
// the backend over a World, and serves HTTP on 127.0.0.1:
//
//   <every function of the plug-in's API description>, by method and path
//   <the stand-ins' resources>, e.g. GET /kiv-login/v1/session
//   GET /events[?name=NAME]   Server-Sent Events of what the plug-ins publish
//                             (default: the "OnJsonApiEvent" copies)
//   /sim/...                  simulation controls (host/sim_controls.h)
//   GET /openapi.json         OpenAPI 3.1 from the API description
//   GET /docs                 Swagger UI over that document
//
// HTTP threads never run plug-in code: each request is queued to the loop
// thread and its answer awaited, so the plug-in sees one request at a time
// and a plug-in that awaits lets the loop serve others meanwhile. Requests
// whose Host header names anything but 127.0.0.1 or localhost, or whose
// Origin is not the server's own, are refused with 403.
//
// Answers: the plug-in's status, 0 meaning 200 for a success and 400 for an
// error; an empty success answers 204; every error is the JSON object
// {"httpStatus": N, "message": "..."}.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "binding/failure.h"
#include "binding/maybe_type.h"
#include "host/host_loop.h"
#include "host/plugin_library.h"
#include "host/world.h"

namespace kiv::host {

class StandIns;

struct DevServerOptions {
  std::string plugin_path;
  LoadOptions load;  // entry name and core version
  World world;
  int port = 0;  // 0: any free port
  // The directory holding swagger-ui-dist's files; /docs answers 503 with
  // directions when it lacks them.
  std::string swagger_ui_dir;
  // Receives the lines a person at the terminal reads (start-up report, one
  // line per request, the plug-in's log lines). Null: silent. Called from
  // several threads, one line at a time.
  std::function<void(std::string_view line)> output;
  // A world that starts logged in logs in once the plug-in has started, as
  // a player does after the client's plug-ins are up: the session and the
  // player's resources arrive as Create events. Off: they are there from
  // the start, for the plug-in's first reads.
  bool log_in_after_load = true;
  // One output line per HTTP request (method, target, status, milliseconds).
  bool log_requests = true;
  // An HTTP request the plug-in has not answered by then gets 504.
  double request_timeout_seconds = 30;
  // Stopping waits for the plug-in's handlers to return before it unloads
  // the plug-in. When that takes longer than this (0: no limit),
  // `on_stop_overdue` is called on the stopping thread with what the plug-in
  // waits for ("" when nothing); when it returns, stopping waits on.
  double stop_deadline_seconds = 0;
  std::function<void(std::string_view waits)> on_stop_overdue;
  // Set: sees what crosses the plug-in's boundary from before it loads
  // until after it unloads (kiv serve --record). Must outlive the server.
  BoundaryObserver* observer = nullptr;
};

class DevServer {
 public:
  // Starts the loop thread, installs the stand-ins, loads and starts the
  // plug-in, then binds 127.0.0.1 and serves. Fails, with nothing left
  // running, with the loader's message ("cannot open plug-in ...", "...
  // cannot load", "... init returned false") or "cannot listen on
  // 127.0.0.1:<port>".
  // [re-entrant: a plug-in whose entry ends the process ends it here]
  static Quarn::Maybe<std::unique_ptr<DevServer>> Start(DevServerOptions options);
  // Stops serving (waiting clients get 503), unloads the plug-in once no
  // handler of it runs, and ends the loop thread.
  ~DevServer();
  DevServer(const DevServer&) = delete;
  DevServer& operator=(const DevServer&) = delete;

  int port() const;
  // "http://127.0.0.1:<port>"
  std::string url() const;
  // The plug-in's short name and its API description's function count.
  const std::string& plugin_name() const;
  // Blocks until Stop is called (from another thread or a signal handler's
  // helper thread).
  void Wait();
  // Ends Wait; serving stops when the object is destroyed. [any thread]
  void Stop();

  // Runs `work` on the loop thread and waits for it; for tests and tools
  // that inspect the loop, the stand-ins or the world.
  void RunOnLoop(const std::function<void()>& work);
  HostLoop& loop();
  StandIns& stand_ins();
  const PluginLibrary& plugin() const;
  const std::string& openapi_json() const;

 private:
  struct State;
  explicit DevServer(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace kiv::host
