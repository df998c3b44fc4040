// Stopping kiv serve (the ASan build) with Ctrl-C: a handler that waits is
// let finish before the plug-in unloads, a stop that cannot finish ends
// after its deadline with a message, and a second Ctrl-C ends it at once.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/host/serve_fixture.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using Clock = std::chrono::steady_clock;

// kiv serve in a child process (the shell execs it: its pid is the
// shell's), its standard output and error in one pipe.
class ServeProcess {
 public:
  ServeProcess(const std::vector<std::string>& extra, bool ignore_ctrl_c) {
    std::string command = "echo $$; exec " KIV_TOOL_PATH " serve --port 0 --quiet --world " +
                          std::string(kiv::test::kSmallWorldPath);
    for (const auto& a : extra) command += " " + a;
    // Ignored in the parent is ignored in the child, as a shell without job
    // control starts background programs.
    if (ignore_ctrl_c) signal(SIGINT, SIG_IGN);
    out_ = popen((command + " 2>&1").c_str(), "r");
    signal(SIGINT, SIG_DFL);
    if (out_ != nullptr && std::fscanf(out_, "%d", &pid_) != 1) pid_ = 0;
  }
  ~ServeProcess() {
    if (out_ == nullptr) return;
    if (pid_ > 0) kill(pid_, SIGKILL);
    pclose(out_);
  }

  // The port from "serving on http://127.0.0.1:N", or 0.
  int WaitUntilServing() {
    const std::string mark = "serving on http://127.0.0.1:";
    while (output_.find(mark) == std::string::npos && ReadLine()) {
    }
    const size_t at = output_.find(mark);
    return at == std::string::npos ? 0 : std::atoi(output_.c_str() + at + mark.size());
  }
  void Signal(int signal) { kill(pid_, signal); }
  // Reads to the end and reaps the child: its exit code, -1 when killed.
  int Finish() {
    while (ReadLine()) {
    }
    const int status = pclose(out_);
    out_ = nullptr;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  const std::string& output() const { return output_; }
  bool started() const { return pid_ > 0; }

 private:
  bool ReadLine() {
    char buffer[4096];
    if (std::fgets(buffer, sizeof buffer, out_) == nullptr) return false;
    output_ += buffer;
    return true;
  }

  FILE* out_ = nullptr;
  pid_t pid_ = 0;
  std::string output_;
};

TEST(ServeShutdown, CtrlCStopsCleanlyOrAfterItsDeadline) {
  const struct Case {
    const char* name;
    std::vector<std::string> options;
    bool waiting_request;  // a handler waits for a late service-proxy answer when Ctrl-C comes
    int interrupts, code;
    const char* says;
    double min_seconds, max_seconds;
  } cases[] = {
      {"idle, started with Ctrl-C ignored", {"--plugin", KIV_MINIMAL_PLUGIN_PATH}, false, 1, 0,
       "kiv serve: stopping\n", 0, 5},
      // The client got its 504; the handler still waits, and the unload waits for it.
      {"a handler waits", {"--plugin", KIV_PROBE_PLUGIN_PATH, "--latency", "1500", "--timeout", "0.3"}, true, 1,
       0, "kiv serve: stopping\n", 0.5, 5},
      {"a handler waits too long",
       {"--plugin", KIV_PROBE_PLUGIN_PATH, "--latency", "600000", "--timeout", "0.3"}, true, 1, 1,
       "kiv serve: the host did not stop within 5 s; the plug-in is still waiting for Wait: future<", 4.5, 15},
      {"Ctrl-C twice", {"--plugin", KIV_PROBE_PLUGIN_PATH, "--latency", "600000", "--timeout", "0.3"}, true, 2,
       130, "kiv serve: interrupted again, exiting at once\n", 0, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ServeProcess serve(c.options, /*ignore_ctrl_c=*/c.interrupts == 1 && !c.waiting_request);
    ASSERT_TRUE(serve.started());
    const int port = serve.WaitUntilServing();
    ASSERT_NE(port, 0) << serve.output();
    if (c.waiting_request) {
      httplib::Client http("127.0.0.1", port);
      auto answer = http.Get("/probe/v1/masteries/11");
      ASSERT_TRUE(answer);
      EXPECT_THAT(kiv::test::ErrorOf(answer),
                  HasSubstr("504 The plug-in did not answer within 0.3 s and is still running; it is waiting for "
                            "Wait: future<"));
    }
    const auto start = Clock::now();
    serve.Signal(SIGINT);
    if (c.interrupts == 2) {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      serve.Signal(SIGINT);
    }
    const int code = serve.Finish();
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_EQ(code, c.code) << serve.output();
    EXPECT_THAT(serve.output(), HasSubstr(c.says));
    EXPECT_THAT(serve.output(), Not(HasSubstr("Sanitizer")));
    EXPECT_THAT(serve.output(), Not(HasSubstr("runtime error")));
    EXPECT_GE(took, c.min_seconds);
    EXPECT_LE(took, c.max_seconds);
  }
}

}  // namespace
