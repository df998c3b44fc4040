// Runs the built `kiv decode` the way a person would: input on standard
// input or in a file, output and messages read back from files.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/case_file.h"

namespace {

struct ToolRun {
  int code;
  std::string out;
  std::string err;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class DecodeCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kiv_decode_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string WriteInput(const std::string& bytes, const char* name = "input") {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  // Runs `kiv decode <args>` with `input` on standard input.
  ToolRun Decode(const std::string& args, const std::string& input) {
    const std::string in = WriteInput(input);
    const std::string command = std::string("'") + KIV_TOOL_PATH + "' decode " + args + " < '" + in +
                                "' > '" + dir_ + "/out' 2> '" + dir_ + "/err'";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(dir_ + "/out"), ReadFile(dir_ + "/err")};
  }

  std::string dir_;
};

struct DecodeCase {
  std::string args;
  std::string input;
  int code;
  std::string out;
  std::string err;
};

std::string Nested(size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST_F(DecodeCommand, PrintsThePluginsJsonOrTheReadersMessage) {
  std::vector<DecodeCase> cases;
  for (const kiv::test::FileCase& c :
       kiv::test::ReadCaseFile(KIV_SOURCE_DIR "/tests/tools/decode_cases.txt")) {
    cases.push_back({c.input(), c.Get("input").value_or(""), std::stoi(c.Get("code").value_or("0")),
                     c.Get("out").value_or(""), c.Get("err").value_or("")});
  }
  // Indented output grows with the square of the depth: --pretty stops at
  // 10,000 levels, the compact form has no limit.
  cases.push_back({"--pretty --format json", Nested(10001), 1, "",
                   "kiv decode: the value is nested more than 10000 levels deep, too deep for --pretty "
                   "(indented output grows with the square of the depth); leave out --pretty for the "
                   "compact form\n"});
  cases.push_back({"--format json", Nested(200000), 0, Nested(200000), ""});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args + " " + c.input.substr(0, 40));
    const ToolRun run = Decode(c.args, c.input);
    EXPECT_EQ(run.code, c.code);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
  }
}

TEST_F(DecodeCommand, ReadsANamedFileOrSaysWhyItCannot) {
  const std::string path = WriteInput("[1,2]", "named.json");
  const ToolRun run = Decode("--format json '" + path + "'", "ignored");
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out, "[1,2]");
  const ToolRun missing = Decode("--format json /nonexistent/input.json", "");
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.err, "kiv decode: cannot open /nonexistent/input.json: No such file or directory\n");
}

TEST_F(DecodeCommand, RejectsWrongUsageWithStatusTwo) {
  const struct {
    const char* args;
    const char* first_line;
  } cases[] = {
      {"", "kiv decode: --format is required\n"},
      {"--format xml", "kiv decode: unknown format xml\n"},
      {"--format json --color", "kiv decode: unknown option --color\n"},
      {"--format json a b", "kiv decode: more than one input file: b\n"},
  };
  for (const auto& c : cases) {
    const ToolRun run = Decode(c.args, "");
    EXPECT_EQ(run.code, 2) << c.args;
    EXPECT_EQ(run.err.substr(0, run.err.find('\n') + 1), c.first_line) << c.args;
    EXPECT_NE(run.err.find("usage: kiv decode --format json|msgpack|yaml [--pretty] [FILE]"),
              std::string::npos);
  }
  const ToolRun help = Decode("--help", "");
  EXPECT_EQ(help.code, 0);
  EXPECT_EQ(help.out.rfind("usage: kiv decode", 0), 0u);
}

}  // namespace
