// Conversions and time stamps whose faults the routes would hide: stamps
// at and before 1970, and talent ids that must survive a round trip.
#include "collections/dto_mapping.h"

#include <gtest/gtest.h>

#include <chrono>

#include "collections/time_stamp.h"

namespace {

using namespace Quarn::Client::Collections;
using std::chrono::milliseconds;
using std::chrono::system_clock;

TEST(TimeStamp, FormatsTheUtcSecondAndMilliseconds) {
  const struct {
    int64_t ms;
    const char* date_string;
    uint64_t create_date;
  } cases[] = {
      {1714555800250, "2024-05-01T09:30:00Z", 1714555800250},
      {0, "1970-01-01T00:00:00Z", 0},
      {999, "1970-01-01T00:00:00Z", 999},  // the second is truncated, not rounded
      {-1500, "1969-12-31T23:59:58Z", 0},  // a clock before 1970 never wraps to a huge date
  };
  for (const auto& c : cases) {
    const TimeStamp stamp = TimeStampAt(system_clock::time_point(milliseconds(c.ms)));
    EXPECT_EQ(stamp.date_string, c.date_string) << c.ms;
    EXPECT_EQ(stamp.create_date, c.create_date) << c.ms;
  }
  // A test clock is put back to the system clock.
  const Clock previous = SetClockForTesting([] { return system_clock::time_point(); });
  EXPECT_EQ(Now(), system_clock::time_point());
  SetClockForTesting(previous);
  EXPECT_GE(Now(), system_clock::now() - std::chrono::hours(1));
}

TEST(DtoMapping, NegativeTalentIdsSurviveARoundTrip) {
  TROV::MasteryBookDTO dto;
  dto.book_pages = {{"P", 1, 1, 0, {{1, -5}}, true}};
  const Api::CollectionsMasteryBook book = ToMasteryBook(dto, MasteryTrees{});
  EXPECT_EQ(ToMasteryBookDto(book, 1).book_pages[0].talent_entries, dto.book_pages[0].talent_entries);
}

}  // namespace
