// The plug-in's whole API description (names, versions, routes, types,
// events) as the built `kiv describe` prints it, against
// tests/golden/api_description.txt. After a deliberate change, rerun with
// KIV_UPDATE_GOLDEN=1 to rewrite the file, and review its diff.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

const char* const kGoldenPath = KIV_SOURCE_DIR "/tests/golden/api_description.txt";

std::string DescribeThePlugin(int& exit_code) {
  const std::string command = std::string(KIV_TOOL_PATH) + " describe --plugin " + KIV_PLUGIN_PATH;
  FILE* pipe = popen(command.c_str(), "r");
  std::string out;
  if (pipe == nullptr) return out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int status = pclose(pipe);
  exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  // The library's path depends on the build folder.
  for (size_t at = out.find(KIV_PLUGIN_PATH); at != std::string::npos; at = out.find(KIV_PLUGIN_PATH, at)) {
    out.replace(at, std::string_view(KIV_PLUGIN_PATH).size(), "PLUGIN");
  }
  return out;
}

TEST(ApiDescriptionGolden, DescribeMatchesTheCheckedInDescription) {
  int exit_code = -1;
  const std::string got = DescribeThePlugin(exit_code);
  ASSERT_EQ(exit_code, 0) << got;
  const char* update = std::getenv("KIV_UPDATE_GOLDEN");
  if (update != nullptr && std::string(update) == "1") {
    std::ofstream(kGoldenPath, std::ios::binary) << got;
    GTEST_SKIP() << "rewrote " << kGoldenPath;
  }
  std::ifstream file(kGoldenPath, std::ios::binary);
  ASSERT_TRUE(file) << "no " << kGoldenPath << " (KIV_UPDATE_GOLDEN=1 writes it)";
  std::stringstream expected_text;
  expected_text << file.rdbuf();
  // A multi-line mismatch prints as a line diff.
  EXPECT_EQ(got, expected_text.str()) << kGoldenPath << " differs (KIV_UPDATE_GOLDEN=1 rewrites it)";
}

}  // namespace
