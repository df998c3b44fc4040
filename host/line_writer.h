// LineWriter: lines for a FILE*, written by a thread of its own, so that
// the callers (HTTP workers printing one line per request) never wait on
// the terminal. Lines from one caller keep their order; the destructor and
// Flush() write everything appended before them.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace kiv::host {

class LineWriter {
 public:
  explicit LineWriter(std::FILE* out);
  ~LineWriter();
  LineWriter(const LineWriter&) = delete;
  LineWriter& operator=(const LineWriter&) = delete;

  // Appends `line` and a newline; from any thread.
  void Append(std::string_view line);
  // Returns once every line appended before the call is written and flushed.
  void Flush();

 private:
  void Run();

  std::FILE* out_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable written_;
  std::string pending_;     // guarded by mutex_
  uint64_t appended_ = 0;   // lines appended, guarded by mutex_
  uint64_t flushed_ = 0;    // lines written and flushed, guarded by mutex_
  bool stopping_ = false;   // guarded by mutex_
  std::thread thread_;
};

}  // namespace kiv::host
