// Conversions whose faults the routes would hide: time stamps at and before
// 1970, talent ids that must survive a round trip, and request bodies read
// by the registered widths. The registrations themselves (names, fields,
// offsets, enumerators) are pinned by tests/golden/api_description.txt.
#include "collections/dto_mapping.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "binding/json_reader.h"
#include "binding/native_conversion.h"
#include "collections/time_stamp.h"
#include "collections/type_registration.h"

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

TEST(TypeRegistration, BodiesConvertByTheRegisteredWidths) {
  Quarn::BindingRegistry registry;
  Quarn::TrovClassTables tables;
  const std::vector<std::string> tags = {"Plugins", "Plugin kiv-collections"};
  RegisterTrovDtos(registry, tables, tags);
  RegisterApiTypes(registry, "KivCollections", tags);
  // The value read from `json`, and the conversion's error ("" when none).
  const auto read = [&registry]<class T>(std::string_view json, T& back) {
    const Quarn::BindingResult parsed = Quarn::FromJson(json);
    EXPECT_TRUE(parsed.ok()) << parsed.ErrorMessage();
    Quarn::BindingResult status;
    Quarn::FromBindingValue(status, parsed.value, "resource", back, registry);
    return std::string(status.ErrorMessage());
  };
  // No field is required: a rune book without pages is a book with none.
  Api::CollectionsRuneBook book{};
  EXPECT_EQ(read(R"({"summonerId":5})", book), "");
  EXPECT_EQ(book, (Api::CollectionsRuneBook{5, {}}));
  Api::CollectionsSummonerIcons icons;
  EXPECT_EQ(read(R"({"icons":[-1,28]})", icons), "");
  EXPECT_EQ(icons.icons, (std::vector<int32_t>{-1, 28}));
  Api::CollectionsWardSkinList skins;
  EXPECT_EQ(read(R"({"wardSkinList":[-9007199254740993]})", skins), "");
  EXPECT_EQ(skins.ward_skin_list, (std::vector<int64_t>{-9007199254740993}));
  Api::CollectionsSummonerSpells spells;
  EXPECT_EQ(read(R"({"spells":[-1]})", spells), "Value -1 for 'spells' of type uint64 is out of range");
  EXPECT_EQ(read(R"({"icons":[2147483648]})", icons), "Value 2147483648 for 'icons' of type int32 is out of range");
}

}  // namespace
