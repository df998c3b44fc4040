#include "collections/dto_mapping.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "collections/time_stamp.h"
#include "diagnostics/capture_log_target.h"
#include "diagnostics/logger.h"

namespace {

using namespace Quarn::Client::Collections;
using std::chrono::milliseconds;
using std::chrono::system_clock;

// 2024-05-01T09:30:00.250Z
constexpr int64_t kPinnedMs = 1714555800250;

// Pins the service clock for one test and counts its readings.
class PinnedClock {
 public:
  explicit PinnedClock(int64_t ms) {
    previous_ = SetClockForTesting([this, ms] {
      ++reads;
      return system_clock::time_point(milliseconds(ms));
    });
  }
  ~PinnedClock() { SetClockForTesting(std::move(previous_)); }
  int reads = 0;

 private:
  Clock previous_;
};

Api::CollectionsRunePage RunePage(uint32_t id, std::string name, bool current,
                                  std::vector<Api::CollectionsRune> runes) {
  return {current, id, std::move(name), std::move(runes)};
}

TEST(TimeStamp, FormatsTheUtcSecondAndMilliseconds) {
  struct Case {
    int64_t ms;
    const char* date_string;
    uint64_t create_date;
  };
  const Case cases[] = {
      {kPinnedMs, "2024-05-01T09:30:00Z", 1714555800250},
      {0, "1970-01-01T00:00:00Z", 0},
      {999, "1970-01-01T00:00:00Z", 999},  // the second is truncated, not rounded
      {-1500, "1969-12-31T23:59:58Z", 0},  // a clock before 1970 never wraps to a huge date
  };
  for (const Case& c : cases) {
    const TimeStamp stamp = TimeStampAt(system_clock::time_point(milliseconds(c.ms)));
    EXPECT_EQ(stamp.date_string, c.date_string) << c.ms;
    EXPECT_EQ(stamp.create_date, c.create_date) << c.ms;
  }
}

TEST(TimeStamp, TestClockIsRestoredToTheSystemClock) {
  {
    PinnedClock clock(0);
    EXPECT_EQ(Now(), system_clock::time_point());
  }
  const auto before = system_clock::now();
  EXPECT_GE(Now(), before);
}

TEST(DtoMapping, RuneBookFromDtoKeepsPagesAndRunesInOrder) {
  TROV::SpellBookDTO dto;
  dto.summoner_id = 42;
  dto.date_string = "2020-01-01T00:00:00Z";
  dto.book_pages = {
      {"Second", 7, 99, 123, {{5001, 3}, {5002, 1}}, false},
      {"First", 2, 99, 456, {}, true},
  };
  const Api::CollectionsRuneBook expected{
      42, {RunePage(7, "Second", false, {{5001, 3}, {5002, 1}}), RunePage(2, "First", true, {})}};
  EXPECT_EQ(ToRuneBook(dto), expected);
}

TEST(DtoMapping, RuneBookToDtoUsesGivenSummonerAndOneTimeStamp) {
  PinnedClock clock(kPinnedMs);
  const Api::CollectionsRuneBook book{
      7, {RunePage(1, "A", true, {{10, 1}, {11, 2}}), RunePage(2, "B", false, {{12, 3}})}};

  const TROV::SpellBookDTO dto = ToSpellBookDto(book, 42);

  EXPECT_EQ(clock.reads, 1);
  EXPECT_EQ(dto.summoner_id, 42u);  // not the book's own 7
  EXPECT_EQ(dto.date_string, "2024-05-01T09:30:00Z");
  const std::vector<TROV::SpellBookPageDTO> pages = {
      {"A", 1, 42, kPinnedMs, {{10, 1}, {11, 2}}, true},
      {"B", 2, 42, kPinnedMs, {{12, 3}}, false},
  };
  EXPECT_EQ(dto.book_pages, pages);
  EXPECT_EQ(ToRuneBook(dto), (Api::CollectionsRuneBook{42, book.pages}));
}

TEST(DtoMapping, EmptyRuneBookToDtoHasNoPagesAndIsDatedNow) {
  PinnedClock clock(kPinnedMs);
  const TROV::SpellBookDTO dto = ToSpellBookDto(Api::CollectionsRuneBook{}, 9);
  EXPECT_TRUE(dto.book_pages.empty());
  EXPECT_EQ(dto.date_string, "2024-05-01T09:30:00Z");
  EXPECT_EQ(dto.summoner_id, 9u);
}

TEST(DtoMapping, RunePageToDtoTakesGivenSummonerAndCreateDate) {
  const TROV::SpellBookPageDTO dto = ToSpellBookPageDto(RunePage(3, "P", true, {{1, 2}}), 42, 555);
  EXPECT_EQ(dto, (TROV::SpellBookPageDTO{"P", 3, 42, 555, {{1, 2}}, true}));
}

TEST(DtoMapping, MasteryBookConvertsBothWaysWithSummaries) {
  PinnedClock clock(kPinnedMs);
  MasteryTrees trees;
  trees.tree_of_mastery = {{4111, "1"}, {4112, "1"}, {4211, "2"}};
  trees.tree_names = {"1", "2", "3"};
  const Api::CollectionsMasteryBook book{
      5, {{false, 1, "Offense", {}, {{4111, 1}, {4112, 3}}}, {true, 2, "Mixed", {}, {{4211, 2}, {4111, 4}}}}};

  const TROV::MasteryBookDTO dto = ToMasteryBookDto(book, 42);

  EXPECT_EQ(clock.reads, 1);
  EXPECT_EQ(dto.summoner_id, 42u);
  EXPECT_EQ(dto.date_string, "2024-05-01T09:30:00Z");
  const std::vector<TROV::MasteryBookPageDTO> pages = {
      {"Offense", 1, 42, kPinnedMs, {{1, 4111}, {3, 4112}}, false},
      {"Mixed", 2, 42, kPinnedMs, {{2, 4211}, {4, 4111}}, true},
  };
  EXPECT_EQ(dto.book_pages, pages);

  const Api::CollectionsMasteryBook back = ToMasteryBook(dto, trees);
  ASSERT_EQ(back.pages.size(), 2u);
  EXPECT_EQ(back.summoner_id, 42u);
  EXPECT_EQ(back.pages[0].masteries, book.pages[0].masteries);
  EXPECT_EQ(back.pages[1].masteries, book.pages[1].masteries);
  EXPECT_EQ(back.pages[0].summary, (std::map<std::string, uint32_t>{{"1", 4}, {"2", 0}, {"3", 0}}));
  EXPECT_EQ(back.pages[1].summary, (std::map<std::string, uint32_t>{{"1", 4}, {"2", 2}, {"3", 0}}));
  EXPECT_TRUE(back.pages[1].current);
}

TEST(DtoMapping, NegativeTalentIdsSurviveARoundTrip) {
  TROV::MasteryBookDTO dto;
  dto.book_pages = {{"P", 1, 1, 0, {{1, -5}}, true}};
  const Api::CollectionsMasteryBook book = ToMasteryBook(dto, MasteryTrees{});
  EXPECT_EQ(ToMasteryBookDto(book, 1).book_pages[0].talent_entries, dto.book_pages[0].talent_entries);
}

TEST(DtoMapping, RuneQuantitiesAreSortedByRuneId) {
  TROV::SummonerRuneInventory inventory;
  inventory.summoner_id = 42;
  inventory.summoner_runes = {{1, 2, 10, 7, 42}, {3, 4, 30, 3, 42}, {5, 6, 50, 5, 42}};
  const Api::CollectionsRuneQuantities expected{42, {{3, 30}, {5, 50}, {7, 10}}};
  EXPECT_EQ(ToRuneQuantities(inventory), expected);
}

TEST(DtoMapping, SummonerIconsStartWithTheFreeIcons) {
  struct Case {
    std::vector<int32_t> owned;
  };
  const Case cases[] = {{{}}, {{30, 5, 1000}}};
  for (const Case& c : cases) {
    TROV::SummonerIconInventoryDTO inventory;
    inventory.summoner_id = 42;
    for (int32_t id : c.owned) inventory.summoner_icons.push_back({id, 0, 42});
    std::vector<int32_t> expected;
    for (int32_t id = 0; id <= 28; ++id) expected.push_back(id);
    // Owned icons follow in the backend's order; a free one is listed again.
    expected.insert(expected.end(), c.owned.begin(), c.owned.end());
    EXPECT_EQ(ToSummonerIcons(inventory), (Api::CollectionsSummonerIcons{42, expected})) << c.owned.size();
  }
}

}  // namespace
