#include "host/line_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string Contents(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, n);
  return text;
}

// Many writers at once: every line arrives whole, each writer's in its order,
// and Flush() leaves nothing behind while the writer still runs.
TEST(LineWriter, ConcurrentLinesArriveWholeAndInOrderPerCaller) {
  constexpr int kThreads = 8;
  constexpr int kLines = 2000;
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  {
    kiv::host::LineWriter writer(file);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back([&writer, t] {
        for (int i = 0; i < kLines; ++i) writer.Append("t" + std::to_string(t) + " " + std::to_string(i));
      });
    for (auto& thread : threads) thread.join();
    writer.Flush();
    std::istringstream in(Contents(file));
    std::vector<int> next(kThreads, 0);
    std::string line;
    int count = 0;
    while (std::getline(in, line)) {
      int t = -1, i = -1;
      ASSERT_EQ(std::sscanf(line.c_str(), "t%d %d", &t, &i), 2) << line;
      ASSERT_TRUE(t >= 0 && t < kThreads) << line;
      EXPECT_EQ(i, next[t]++) << line;
      ++count;
    }
    EXPECT_EQ(count, kThreads * kLines);
    std::fseek(file, 0, SEEK_END);
    writer.Append("last");
  }
  // The destructor writes what was appended after the last flush.
  const std::string all = Contents(file);
  EXPECT_EQ(all.substr(all.size() - 5), "last\n");
  std::fclose(file);
}

}  // namespace
