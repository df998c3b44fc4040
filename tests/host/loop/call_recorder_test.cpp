#include "host/loop/call_recorder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using kiv::host::CallRecorder;
using kiv::host::LogLine;
using kiv::host::RecordBytes;
using kiv::host::RecordLimits;
using ::testing::ElementsAreArray;

std::vector<std::string> Texts(const CallRecorder& recorder) {
  std::vector<std::string> out;
  for (const LogLine& line : recorder.LogLines()) out.push_back(line.text);
  return out;
}

// A line costs one unit (the record itself) plus its text.
const size_t kUnit = RecordBytes(LogLine{0, ""});

struct CapCase {
  size_t count;  // 0: no limit
  size_t units;  // bytes limit = units * kUnit + chars; both 0: no limit
  size_t chars;
  std::vector<std::string> lines;
  std::vector<std::string> kept;
};

TEST(CallRecorder, DropsTheOldestBeyondTheCountOrTheBytes) {
  const CapCase kCases[] = {
      {0, 0, 0, {"a", "b", "c"}, {"a", "b", "c"}},
      {2, 0, 0, {"a", "b", "c"}, {"b", "c"}},
      {1, 0, 0, {"a", "b", "c"}, {"c"}},
      {0, 2, 8, {"aaaa", "bb", "cccccc"}, {"bb", "cccccc"}},
      {0, 2, 7, {"aaaa", "bb", "cccccc"}, {"cccccc"}},
      {0, 3, 12, {"aaaa", "bb", "cccccc"}, {"aaaa", "bb", "cccccc"}},
      {0, 3, 11, {"aaaa", "bb", "cccccc"}, {"bb", "cccccc"}},
      {1, 3, 12, {"aaaa", "bb", "cccccc"}, {"cccccc"}},  // whichever cap bites first
      {0, 1, 5, {"aaaaaa"}, {}},                          // a line above the cap is not kept
      {0, 1, 5, {"aaaaaa", "bb"}, {"bb"}},
  };
  for (size_t n = 0; n < std::size(kCases); ++n) {
    const CapCase& c = kCases[n];
    const size_t bytes = c.units == 0 && c.chars == 0 ? 0 : c.units * kUnit + c.chars;
    CallRecorder recorder(RecordLimits{c.count, bytes});
    for (const std::string& line : c.lines) recorder.Log({1, line});
    EXPECT_THAT(Texts(recorder), ElementsAreArray(c.kept)) << "case " << n;
  }
}

TEST(CallRecorder, CallsCountTheirBodiesAndProblemsAreCappedToo) {
  const std::string mib(1 << 20, 'x');
  CallRecorder recorder(RecordLimits{0, 5 << 19});  // 2.5 MiB
  for (int i = 0; i < 4; ++i) {
    kiv::host::RecordedCall call;
    call.kind = kiv::host::CallKind::kSendRequest;
    call.request.path = "/r/" + std::to_string(i);
    call.request.body = mib;
    recorder.Record(std::move(call));
    recorder.Problem(std::to_string(i) + mib);
  }
  const auto calls = recorder.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].request.path, "/r/2");
  EXPECT_EQ(calls[1].request.path, "/r/3");
  ASSERT_EQ(recorder.Problems().size(), 2u);
  EXPECT_EQ(recorder.Problems()[0][0], '2');

  kiv::host::RecordedCall event;
  event.kind = kiv::host::CallKind::kEmitEvent;
  event.payload = kiv::host::OwnedValue::Text(mib);
  EXPECT_GT(RecordBytes(event), mib.size()) << "a payload counts";
}

TEST(CallRecorder, ConcurrentWritersKeepTheNewestWithinTheCap) {
  CallRecorder recorder(RecordLimits{0, 100 * (kUnit + 8)});
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&recorder, t] {
      for (int i = 0; i < 2000; ++i) recorder.Log({0, std::to_string(t) + "-" + std::to_string(100000 + i)});
    });
  }
  for (auto& w : writers) w.join();
  const auto lines = recorder.LogLines();
  ASSERT_EQ(lines.size(), 100u);
  EXPECT_EQ(lines.back().text.substr(2), "101999") << "the newest line is some writer's last";
  std::string previous[4];
  for (const auto& line : lines) {
    const int t = line.text[0] - '0';
    EXPECT_LT(previous[t], line.text) << "each writer's lines stay in order";
    previous[t] = line.text;
  }
}

}  // namespace
