// Replays every input kept in fuzz/regressions/<reader>/ through its reader
// and writes the result back as JSON: none may crash, and each reader must
// either succeed or fail with one of its own messages.
#include <gtest/gtest.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "binding/json_reader.h"
#include "binding/json_writer.h"
#include "binding/msgpack_reader.h"
#include "binding/yaml_reader.h"

namespace {

std::vector<std::filesystem::path> Inputs(const char* reader) {
  std::vector<std::filesystem::path> paths;
  const auto dir = std::filesystem::path(KIV_SOURCE_DIR) / "fuzz" / "regressions" / reader;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.is_regular_file()) paths.push_back(entry.path());
  }
  return paths;
}

std::string Contents(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void ExpectWritable(const Quarn::BindingResult& result, const std::filesystem::path& path) {
  if (!result.ok()) return;
  const std::string json = Quarn::ToJson(result.value);
  if (!json.empty()) {
    EXPECT_TRUE(Quarn::FromJson(json).ok()) << path;
  }
}

// The message RapidJSON's default (recursive) mode gives for `text`; ""
// when it parses. Only for shallow text: that mode recurses per level.
std::string DefaultModeMessage(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  rapidjson::BaseReaderHandler<> handler;
  rapidjson::Reader reader;
  rapidjson::MemoryStream stream(text.data(), text.size());
  const rapidjson::ParseResult parsed = reader.Parse<rapidjson::kParseDefaultFlags>(stream, handler);
  return parsed.IsError() ? Quarn::JsonErrorMessage(parsed.Code(), parsed.Offset()) : std::string();
}

// Shallow enough for the recursive mode, and not blank (which FromJson
// reads as Empty where RapidJSON reports an empty document).
bool Comparable(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  const auto depth = std::count(text.begin(), text.end(), '[') + std::count(text.begin(), text.end(), '{');
  return depth < 200 && text.find_first_not_of(" \t\r\n") != std::string_view::npos;
}

TEST(FuzzRegressions, JsonInputsFailAsTheDefaultModeWould) {
  const auto inputs = Inputs("json");
  EXPECT_FALSE(inputs.empty());
  for (const auto& path : inputs) {
    const std::string text = Contents(path);
    const auto result = Quarn::FromJson(text);
    if (Comparable(text)) {
      EXPECT_EQ(result.ErrorMessage(), DefaultModeMessage(text)) << path;
    } else if (!result.ok()) {
      EXPECT_EQ(result.ErrorMessage().rfind("Error: ", 0), 0u) << path;
    }
    ExpectWritable(result, path);
  }
}

TEST(FuzzRegressions, MsgPackInputsReadOrFailCleanly) {
  const auto inputs = Inputs("msgpack");
  EXPECT_FALSE(inputs.empty());
  for (const auto& path : inputs) {
    const std::string bytes = Contents(path);
    const auto read = Quarn::ReadMsgPack(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    EXPECT_LE(read.consumed, bytes.size()) << path;
    if (!read.result.ok()) {
      EXPECT_EQ(read.result.ErrorMessage().rfind("Invalid MessagePack data", 0), 0u) << path;
    }
    ExpectWritable(read.result, path);
  }
}

TEST(FuzzRegressions, YamlInputsReadOrFailCleanly) {
  const auto inputs = Inputs("yaml");
  EXPECT_FALSE(inputs.empty());
  for (const auto& path : inputs) {
    const auto result = Quarn::ReadYaml(Contents(path));
    if (!result.ok()) {
      EXPECT_FALSE(result.ErrorMessage().empty()) << path;
    }
    ExpectWritable(result, path);
  }
}

}  // namespace
