// The host tests' helpers: the developer host started in-process on a free
// port with an HTTP client and an event follower for it, a tool run as a
// child process, and a request sent through a plug-in's host table.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>
#include <rapidjson/document.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "host/dev_server.h"
#include "host/world.h"
#include "kiv/plugin_abi.h"
#include "support/case_file.h"

namespace kiv::test {

// A small world (small_world.json beside this file): two summoners, the
// first logged in.
inline constexpr const char* kSmallWorldPath = KIV_SOURCE_DIR "/tests/host/small_world.json";

inline host::World SmallWorld() {
  auto world = host::LoadWorld(kSmallWorldPath);
  if (world.HasFailure()) {
    ADD_FAILURE() << world.failure().message();
    return {};
  }
  return world.TakeValue();
}

struct Served {
  // The output goes last: the server writes to it until it is destroyed.
  std::vector<std::string> output;  // lines for a person, collected
  std::mutex output_mutex;
  std::unique_ptr<host::DevServer> server;
  std::unique_ptr<httplib::Client> http;

  std::vector<std::string> Output() {
    std::lock_guard lock(output_mutex);
    return output;
  }
};

// Starts the host with `plugin` over `world`; fails the test (and returns
// null) when it will not start.
inline std::unique_ptr<Served> Serve(std::string plugin, host::World world, double timeout_seconds = 30) {
  auto served = std::make_unique<Served>();
  host::DevServerOptions options;
  options.plugin_path = std::move(plugin);
  options.world = std::move(world);
  options.port = 0;
  options.request_timeout_seconds = timeout_seconds;
  options.swagger_ui_dir = KIV_SOURCE_DIR "/build/web/node_modules/swagger-ui-dist";
  Served* raw = served.get();
  options.output = [raw](std::string_view line) {
    std::lock_guard lock(raw->output_mutex);
    raw->output.emplace_back(line);
  };
  auto started = host::DevServer::Start(std::move(options));
  if (started.HasFailure()) {
    ADD_FAILURE() << "the host did not start: " << started.failure().message();
    return nullptr;
  }
  served->server = started.TakeValue();
  served->http = std::make_unique<httplib::Client>("127.0.0.1", served->server->port());
  served->http->set_read_timeout(20, 0);
  return served;
}

// The JSON of a body; fails the test on bad JSON.
inline rapidjson::Document Json(const std::string& body) {
  rapidjson::Document d;
  d.Parse(body.c_str(), body.size());
  EXPECT_FALSE(d.HasParseError()) << "not JSON: " << body;
  return d;
}

// {"httpStatus": N, "message": "..."} answered with status N, as "N message".
inline std::string ErrorOf(const httplib::Result& result) {
  if (!result) return "no answer";
  rapidjson::Document d = Json(result->body);
  if (!d.IsObject() || !d.HasMember("httpStatus") || !d.HasMember("message") || !d["message"].IsString() ||
      !d["httpStatus"].IsUint() || d.MemberCount() != 2 ||
      d["httpStatus"].GetUint() != uint32_t(result->status))
    return "not the error shape: " + std::to_string(result->status) + " " + result->body;
  return std::to_string(result->status) + " " + d["message"].GetString();
}

// "status body", or "no answer".
inline std::string Answer(const httplib::Result& result) {
  return result ? std::to_string(result->status) + " " + result->body : "no answer";
}

// "status body" for a success, "status message" (ErrorOf) for a failure with a body.
inline std::string Said(const httplib::Result& result) {
  return result && result->status >= 400 && !result->body.empty() ? ErrorOf(result) : Answer(result);
}

inline std::string Send(httplib::Client& http, const std::string& method, const std::string& path,
                        const std::string& body = {}, const std::string& type = "application/json") {
  httplib::Request request;
  request.method = method;
  request.path = path;
  request.body = body;
  request.set_header("Content-Type", type);
  return Said(http.send(request));
}

// Sends the exchanges of tests/host/exchanges/<file> in order. Each is
// "METHOD path" with an optional "body", "type" (application/json when
// missing) and "header NAME VALUE" lines, then "->" and what Said() gives
// (trailing blanks dropped) or "has" and a part of it, and "allow" when it
// answers an Allow header. "$PORT" and "$OWN" stand for the host's port and
// its origin.
inline void RunExchanges(Served& served, const std::string& file) {
  const std::pair<std::string, std::string> tokens[] = {{"$OWN", served.server->url()},
                                                        {"$PORT", std::to_string(served.server->port())}};
  const auto fill = [&tokens](std::string text) {
    for (const auto& [token, value] : tokens) {
      for (size_t at; (at = text.find(token)) != std::string::npos;) text.replace(at, token.size(), value);
    }
    return text;
  };
  for (const FileCase& c : ReadCaseFile(KIV_SOURCE_DIR "/tests/host/exchanges/" + file)) {
    SCOPED_TRACE(c.where);
    httplib::Request request;
    request.method = c.kind();
    request.path = fill(c.input());
    request.body = c.Get("body").value_or("");
    request.set_header("Content-Type", c.Get("type").value_or("application/json"));
    for (const auto& [key, value] : c.fields) {
      if (key == "header")
        request.set_header(value.substr(0, value.find(' ')), fill(value.substr(value.find(' ') + 1)));
    }
    const httplib::Result result = served.http->send(request);
    std::string said = Said(result);
    said.erase(said.find_last_not_of(' ') + 1);
    const std::string expected = fill(c.Get("->").value_or(""));
    const std::string part = fill(c.Get("has").value_or(""));
    EXPECT_TRUE(part.empty() ? said == expected : said.find(part) != std::string::npos) << said;
    if (!result) continue;
    EXPECT_EQ(result->get_header_value("Allow"), c.Get("allow").value_or(""));
    if (!result->body.empty()) {
      EXPECT_EQ(result->get_header_value("Content-Type"), "application/json; charset=utf-8");
    }
  }
}

// A file of the test's temporary folder holding `text`; its path.
inline std::string TempFile(const std::string& name, std::string_view text) {
  const std::string path = ::testing::TempDir() + name;
  std::ofstream(path) << text;
  return path;
}

// Follows /events<query> in the background and collects what arrives.
class EventFollower {
 public:
  EventFollower(int port, std::string query) : client_("127.0.0.1", port) {
    client_.set_read_timeout(30, 0);
    thread_ = std::thread([this, query] {
      client_.Get(("/events" + query).c_str(),
                  [this](const httplib::Response& response) {
                    status_ = response.status;
                    return true;
                  },
                  [this](const char* data, size_t size) {
                    std::lock_guard lock(mutex_);
                    text_.append(data, size);
                    return !stop_;
                  });
    });
  }
  ~EventFollower() {
    stop_ = true;
    client_.stop();
    thread_.join();
  }
  // Waits until the stream holds `needle`.
  bool WaitFor(std::string_view needle, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    for (const auto end = std::chrono::steady_clock::now() + timeout;
         std::chrono::steady_clock::now() < end;) {
      if (text().find(needle) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
  std::string text() {
    std::lock_guard lock(mutex_);
    return text_;
  }
  int status() const { return status_; }

 private:
  httplib::Client client_;
  std::thread thread_;
  std::mutex mutex_;
  std::string text_;
  std::atomic<int> status_{0};
  std::atomic<bool> stop_{false};
};

struct CommandRun {
  std::string output;  // standard output and standard error
  int code;            // -1 when it did not exit
};

inline CommandRun RunCommand(const std::string& command) {
  CommandRun run{{}, -1};
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, n);
  const int status = pclose(pipe);
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

inline CommandRun RunKiv(const std::string& arguments) { return RunCommand(KIV_TOOL_PATH " " + arguments); }

// A request as a plug-in sends it through its table; `Release` frees the answer.
inline HostResponse SendFrom(const HostApi* api, const char* path, void* handle = nullptr,
                             uint32_t* result = nullptr) {
  HostRequest request;
  std::memset(&request, 0, sizeof request);
  request.method = KIV_METHOD_GET;
  request.path = path;
  request.host_handle = handle;
  HostResponse response;
  const uint32_t r = api->send_request(api, &response, &request);
  if (result != nullptr) *result = r;
  return response;
}

// Packed fields are read into locals: a reference to one may be misaligned.
inline void Release(HostResponse& response) {
  const HostResponseReleaseFn release = response.release;
  if (release != nullptr) release(&response);
}

}  // namespace kiv::test
