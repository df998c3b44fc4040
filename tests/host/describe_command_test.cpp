// kiv describe, run as a separate process on the C fixture plug-in (the
// description's layout is checked against the golden file in tests/tools).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/host/serve_fixture.h"

namespace {

using ::testing::HasSubstr;

TEST(DescribeCommand, PrintsTheCoreVersionAskedForAndSaysWhatWentWrong) {
  const std::string plugin = std::string(" --plugin ") + KIV_MINIMAL_PLUGIN_PATH;
  const struct {
    std::string arguments;
    int code;
    std::string says;
  } cases[] = {
      {plugin + " --core-version 18.2.0", 0, "API version   18.0.0\ncore version  18.2.0\n"},
      {" --plugin /nonexistent/libkiv_gone.so", 1,
       "kiv describe: cannot open plug-in /nonexistent/libkiv_gone.so: "},
      {" --core-version 18.x", 2, "kiv describe: invalid version '18.x' (expected X.Y.Z)"},
      {plugin + " --entry load_other", 1, "has no entry load_other"},
  };
  for (const auto& c : cases) {
    const auto run = kiv::test::RunKiv("describe" + c.arguments);
    EXPECT_EQ(run.code, c.code) << c.arguments << "\n" << run.output;
    EXPECT_THAT(run.output, HasSubstr(c.says)) << c.arguments;
  }
}

}  // namespace
