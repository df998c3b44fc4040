// Replays of the README walk's recording against the built plug-in, with
// the recording edited the way a change of the plug-in would show, and
// recordings that must be refused before anything is replayed.
#include "host/session/replay_host.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/session/recording_reader.h"

namespace {

using kiv::host::session::ReadRecording;
using kiv::host::session::Replay;
using kiv::host::session::ReplayOptions;

std::string Walk() {
  std::ifstream in(KIV_SOURCE_DIR "/tests/sessions/readme_walk.jsonl", std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The text with the first `from` replaced by `to` (which must be there).
std::string Edit(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// The text without its line number `number` (from 1).
std::string DropLine(const std::string& text, size_t number) {
  size_t at = 0;
  for (size_t n = 1; n < number; ++n) at = text.find('\n', at) + 1;
  return text.substr(0, at) + text.substr(text.find('\n', at) + 1);
}

// The text read as a recording and replayed against the built plug-in.
auto ReplayText(const std::string& text) {
  auto recording = ReadRecording(text, "walk");
  EXPECT_TRUE(recording.ok()) << recording.failure().message();
  ReplayOptions options;
  options.plugin_path = KIV_PLUGIN_PATH;
  return Replay(recording.value(), options);
}

const char kNineNineNine[] = "GET /kiv-collections/v1/inventories/2870164/ward-skins/9999";

TEST(Replay, ReportsWhatTheBuildDoesDifferently) {
  const std::string walk = Walk();
  ASSERT_FALSE(walk.empty());
  struct Case {
    const char* name;
    std::string recording;
    std::string first_mismatch;
  };
  const Case cases[] = {
      // What a change of one message text in the plug-in shows.
      {"message text", Edit(walk, "No available ward skin with id 9999", "No ward skin 9999"),
       std::string("line 76 (seq 75) answer to ") + kNineNineNine +
           ": answer.error: expected \"No ward skin 9999\", got \"No available ward skin with id 9999\""},
      {"status", Edit(walk, R"("status":404,"error":"No available)", R"("status":410,"error":"No available)"),
       std::string("line 76 (seq 75) answer to ") + kNineNineNine + ": answer.status: expected 410, got 404"},
      // A call the plug-in makes that the recording has no answer for.
      {"call without an answer", DropLine(walk, 8),
       "replay (after line 7 (seq 6)): call GET /kiv-game-data/assets/v1/summoner-masteries.json: the "
       "recording "
       "has no answer for it"},
      {"published field",
       Edit(walk, R"("eventType":"Create","uri":"/kiv-collections/v1/inventories/2870164/ward-skins")",
            R"("eventType":"Update","uri":"/kiv-collections/v1/inventories/2870164/ward-skins")"),
       "publish OnJsonApiEvent_kiv-collections_v1_inventories: data.eventType: expected \"Update\", got "
       "\"Create\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto result = ReplayText(c.recording);
    ASSERT_TRUE(result.ok()) << result.failure().message();
    ASSERT_FALSE(result.value().ok());
    EXPECT_NE(result.value().mismatches.front().find(c.first_mismatch), std::string::npos)
        << result.value().mismatches.front();
  }
}

TEST(Replay, RefusesARecordingOfAnotherPlugin) {
  const std::string walk = Walk();
  for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
           {R"("plugin":"kiv-collections")", R"("plugin":"kiv-other")"},
           {R"("apiVersion":"18.0.0")", R"("apiVersion":"17.2.0")"}}) {
    auto result = ReplayText(Edit(walk, from, to));
    ASSERT_FALSE(result.ok()) << to;
    EXPECT_NE(result.failure().message().find("the recording was made with "), std::string::npos)
        << result.failure().message();
    EXPECT_NE(result.failure().message().find("is kiv-collections (plug-in API 18.0.0)"), std::string::npos)
        << result.failure().message();
  }
}

TEST(RecordingReader, RefusesADamagedFileNamingTheLine) {
  const std::string header =
      R"({"kind":"header","format":"kiv-session","version":1,"plugin":"p","apiVersion":"1.0.0"})"
      "\n";
  const std::string call =
      R"({"seq":1,"t":0,"kind":"call","request":{"method":"GET","path":"/a"},"answer":{"status":200}})"
      "\n";
  const std::string request = R"({"seq":2,"t":0.5,"kind":"request","id":1,"request":{"method":"GET","path":"/x"}})"
                              "\n";
  struct Case {
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {header + call + request.substr(0, 30), "f line 3: cut short (the file ends inside this line)"},
      {header + call + "{\"seq\":2,\n", "f line 3: not JSON at column 10"},
      {call, "f line 1: not a session recording"},
      {Edit(header, "\"version\":1", "\"version\":2") + call, "f line 1: format version 2, this kiv reads version 1"},
      {header + call + Edit(request, "\"seq\":2", "\"seq\":1"), "f line 3: seq 1 does not follow 1"},
      {header + Edit(call, "\"call\"", "\"cal\""), "f line 2: unknown kind \"cal\""},
      {header + Edit(call, "\"status\":200", "\"status\":\"ok\""), "f line 2: the answer: \"status\" is missing"},
      {header + Edit(call, R"("path":"/a")", R"("path":7)"), "f line 2: the request: \"path\" is missing"},
      {header + R"({"seq":1,"t":0,"kind":"answer","id":4,"answer":{"status":200}})" "\n",
       "f line 2: an answer to id 4, which no earlier request has"},
      {header + request + request, "f line 3: seq 2 does not follow 2"},
      {"", "f is empty"},
  };
  for (const Case& c : cases) {
    auto read = ReadRecording(c.text, "f");
    ASSERT_FALSE(read.ok()) << c.message;
    EXPECT_EQ(read.failure().message().substr(0, c.message.size()), c.message) << read.failure().message();
  }
  auto good = ReadRecording(header + call + request, "f");
  ASSERT_TRUE(good.ok()) << good.failure().message();
  EXPECT_EQ(good.value().lines.size(), 2u);
  EXPECT_EQ(good.value().lines[1].number, 3u);
}

}  // namespace
