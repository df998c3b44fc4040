// kiv describe, run as a separate process on the C fixture plug-in.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

using ::testing::HasSubstr;

struct ToolRun {
  std::string output;  // standard output and standard error
  int exit_code;
};

ToolRun Describe(const std::string& arguments) {
  const std::string command = std::string(KIV_TOOL_PATH) + " describe " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ToolRun run{{}, -1};
  if (pipe == nullptr) return run;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
  const int status = pclose(pipe);
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(DescribeCommand, PrintsNamesVersionsAndTheDescriptionTables) {
  const ToolRun run = Describe(std::string("--plugin ") + KIV_MINIMAL_PLUGIN_PATH + " --core-version 18.2.0");
  ASSERT_EQ(run.exit_code, 0) << run.output;
  for (const char* expected : {
           "short name    kiv-minimal\n",
           "full name     ozm-be-kiv-minimal\n",
           "API version   18.0.0\n",
           "core version  18.2.0\n",
           "functions (2)\n  GET     /minimal/v1/echo/{+rest}\n          name    GetMinimalV1EchoByRest\n"
           "          args    rest: path, string\n          result  string\n",
           "  MinimalEcho  struct, 12 bytes, namespace KivMinimal\n",
           "    loud                         MinimalMood                  @8\n",
           "    Loud = 1\n",
           "events (1)\n  OnMinimalPong  payload MinimalEcho\n    Fired when pinged.\n",
       }) {
    EXPECT_THAT(run.output, HasSubstr(expected));
  }
}

TEST(DescribeCommand, ReportsBadInputInPlainWords) {
  const ToolRun missing = Describe("--plugin /nonexistent/libkiv_gone.so");
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_THAT(missing.output, HasSubstr("kiv describe: cannot open plug-in /nonexistent/libkiv_gone.so: "));
  const ToolRun bad_version = Describe("--core-version 18.x");
  EXPECT_EQ(bad_version.exit_code, 2);
  EXPECT_THAT(bad_version.output, HasSubstr("kiv describe: invalid version '18.x' (expected X.Y.Z)"));
  const ToolRun no_entry =
      Describe(std::string("--plugin ") + KIV_MINIMAL_PLUGIN_PATH + " --entry load_other");
  EXPECT_EQ(no_entry.exit_code, 1);
  EXPECT_THAT(no_entry.output, HasSubstr("has no entry load_other"));
}

}  // namespace
