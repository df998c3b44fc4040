// Replays every input kept in fuzz/regressions/<reader>/ through its reader
// and writes the result back as JSON: none may crash, and each reader must
// either succeed or fail with one of its own messages.
#include <gtest/gtest.h>

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

TEST(FuzzRegressions, JsonInputsReadOrFailCleanly) {
  const auto inputs = Inputs("json");
  EXPECT_FALSE(inputs.empty());
  for (const auto& path : inputs) {
    const auto result = Quarn::FromJson(Contents(path));
    if (!result.ok()) {
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
