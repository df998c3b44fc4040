// Registered types as they travel: enumerations by text, books through
// JSON and back, numbers by their registered widths.
#include "collections/type_registration.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "binding/json_reader.h"
#include "binding/json_writer.h"
#include "binding/native_conversion.h"
#include "collections/api_types.h"
#include "collections/trov_dtos.h"

namespace {

using namespace Quarn::Client::Collections;
using Quarn::BindingResult;
using Quarn::BindingTypeKind;

const std::vector<std::string> kTags = {"Plugins", "Plugin kiv-collections"};

class TypeRegistration : public ::testing::Test {
 protected:
  TypeRegistration() {
    RegisterTrovDtos(registry_, tables_, kTags);
    RegisterApiTypes(registry_, "KivCollections", kTags);
  }

  const Quarn::BindingTypeInfo& Type(std::string_view name) const {
    const Quarn::BindingTypeInfo* type = registry_.FindByName(name);
    EXPECT_NE(type, nullptr) << name;
    static const Quarn::BindingTypeInfo kNone;
    return type != nullptr ? *type : kNone;
  }

  // `value` through JSON text and back into a T.
  template <class T>
  T RoundTrip(const T& value, std::string* json = nullptr) {
    BindingResult out;
    Quarn::ToBindingValue(out, value, registry_);
    EXPECT_TRUE(out.ok()) << out.ErrorMessage();
    const std::string text = Quarn::ToJson(out.value, &registry_);
    if (json != nullptr) *json = text;
    return FromJsonText<T>(text);
  }

  template <class T>
  T FromJsonText(std::string_view text, std::string* error = nullptr) {
    BindingResult parsed = Quarn::FromJson(text);
    EXPECT_TRUE(parsed.ok()) << parsed.ErrorMessage();
    BindingResult status;
    T back{};
    Quarn::FromBindingValue(status, parsed.value, "resource", back, registry_);
    if (error != nullptr) {
      *error = std::string(status.ErrorMessage());
    } else {
      EXPECT_TRUE(status.ok()) << status.ErrorMessage();
    }
    return back;
  }

  Quarn::BindingRegistry registry_;
  Quarn::TrovClassTables tables_;
};

TEST_F(TypeRegistration, EnumerationsTravelByText) {
  struct Case {
    Api::CollectionsSummonerBackdropType type;
    const char* text;
  };
  const Case cases[] = {
      {Api::CollectionsSummonerBackdropType::kDefault, "default"},
      {Api::CollectionsSummonerBackdropType::kSummonerIcon, "summoner-icon"},
      {Api::CollectionsSummonerBackdropType::kRecentlyPlayed, "recently-played"},
      {Api::CollectionsSummonerBackdropType::kHighestMastery, "highest-mastery"},
  };
  for (const Case& c : cases) {
    Api::CollectionsSummonerBackdrop backdrop;
    backdrop.backdrop_type = c.type;
    std::string json;
    EXPECT_EQ(RoundTrip(backdrop, &json), backdrop) << c.text;
    EXPECT_NE(json.find(std::string("\"backdropType\":\"") + c.text + "\""), std::string::npos) << json;
  }

  Api::LoginSession session;
  session.state = Api::LoginSessionStates::kError;
  std::string json;
  EXPECT_EQ(RoundTrip(session, &json), session);
  EXPECT_EQ(json, R"({"accountId":0,"connected":false,"state":"ERROR","summonerId":0})");
  EXPECT_EQ(FromJsonText<Api::LoginSession>(R"({"state":"SUCCEEDED"})").state,
            Api::LoginSessionStates::kSucceeded);
}

TEST_F(TypeRegistration, BooksSurviveARoundTripThroughJson) {
  const Api::CollectionsMasteryBook mastery_book{
      18446744073709551615u,
      {{true, 1, "Één", {{"1", 4}, {"2", 0}}, {{4111, 1}, {4112, 3}}}, {false, 2, "", {}, {}}}};
  EXPECT_EQ(RoundTrip(mastery_book), mastery_book);

  const Api::CollectionsRuneBook rune_book{42, {{true, 4294967295u, "P\"1\"", {{5001, 1}, {5002, 2}}}}};
  EXPECT_EQ(RoundTrip(rune_book), rune_book);

  TROV::SpellBookDTO dto;
  dto.summoner_id = 42;
  dto.date_string = "2024-05-01T09:30:00Z";
  dto.book_pages = {{"A", 1, 42, 1714555800250, {{1, 2}}, true}};
  EXPECT_EQ(RoundTrip(dto), dto);
}

TEST_F(TypeRegistration, BodiesConvertByTheRegisteredWidths) {
  // No field is required: a rune book without pages is a book with none.
  EXPECT_EQ(FromJsonText<Api::CollectionsRuneBook>(R"({"summonerId":5})"), (Api::CollectionsRuneBook{5, {}}));
  EXPECT_EQ(FromJsonText<Api::CollectionsSummonerIcons>(R"({"icons":[-1,28]})").icons,
            (std::vector<int32_t>{-1, 28}));
  EXPECT_EQ(
      FromJsonText<Api::CollectionsWardSkinList>(R"({"wardSkinList":[-9007199254740993]})").ward_skin_list,
      (std::vector<int64_t>{-9007199254740993}));

  std::string error;
  FromJsonText<Api::CollectionsSummonerSpells>(R"({"spells":[-1]})", &error);
  EXPECT_EQ(error, "Value -1 for 'spells' of type uint64 is out of range");
  FromJsonText<Api::CollectionsSummonerIcons>(R"({"icons":[2147483648]})", &error);
  EXPECT_EQ(error, "Value 2147483648 for 'icons' of type int32 is out of range");
}

}  // namespace
