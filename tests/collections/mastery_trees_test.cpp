#include "collections/mastery_trees.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diagnostics/capture_log_target.h"
#include "diagnostics/logger.h"

namespace {

using namespace Quarn::Client::Collections;
using Summary = std::map<std::string, uint32_t>;

Api::GameDataChampionMasteries Asset() {
  Api::GameDataChampionMasteries asset;
  asset.tree.groups = {
      {1, {{{4111, 4112}}, {{4121}}}},
      {2, {{{4211, 4121}}}},  // 4121 is listed again: the later group wins
      {30, {}},               // a tree without masteries is still a tree
  };
  return asset;
}

// Captures what the tally logs while it lives.
class LogCapture {
 public:
  LogCapture() { target_.Attach(); }
  std::vector<std::string> Errors() const {
    std::vector<std::string> lines;
    for (const auto& record : target_.records) {
      if (record.level == Quarn::kLogError) lines.push_back(record.message);
    }
    return lines;
  }

 private:
  Quarn::testing::CaptureLogTarget target_;
};

TEST(MasteryTrees, SummaryTalliesRanksPerTree) {
  const MasteryTrees trees = BuildMasteryTrees(Asset());
  struct Case {
    const char* what;
    std::vector<Api::CollectionsMastery> masteries;
    Summary summary;
    std::vector<std::string> errors;
  };
  const Case cases[] = {
      {"no masteries: every tree at 0", {}, {{"1", 0}, {"2", 0}, {"30", 0}}, {}},
      {"a mastery listed in two groups counts in the later", {{4121, 2}}, {{"1", 0}, {"2", 2}, {"30", 0}}, {}},
      {"ranks add up per tree",
       {{4111, 1}, {4112, 3}, {4121, 2}, {4211, 5}},
       {{"1", 4}, {"2", 7}, {"30", 0}},
       {}},
      {"unknown masteries are logged and skipped",
       {{9001, 4}, {4111, 2}, {9002, 1}},
       {{"1", 2}, {"2", 0}, {"30", 0}},
       {"Could not find mastery tree for mastery id: 9001",
        "Could not find mastery tree for mastery id: 9002"}},
      {"a negative rank lowers its tree but never below 0",
       {{4111, 3}, {4112, -1}, {4211, -5}},
       {{"1", 2}, {"2", 0}, {"30", 0}},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LogCapture log;
    EXPECT_EQ(SummaryOf(trees, c.masteries), c.summary);
    EXPECT_EQ(log.Errors(), c.errors);
  }
}

TEST(MasteryTrees, HugeRanksSaturateInsteadOfWrapping) {
  const MasteryTrees trees = BuildMasteryTrees(Asset());
  const std::vector<Api::CollectionsMastery> masteries = {
      {4111, INT32_MAX}, {4112, INT32_MAX}, {4111, INT32_MAX}};
  EXPECT_EQ(SummaryOf(trees, masteries).at("1"), UINT32_MAX);
}

}  // namespace
