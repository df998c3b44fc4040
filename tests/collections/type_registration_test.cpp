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

TEST_F(TypeRegistration, RegistersDtosThenPrefixedApiTypesInDependencyOrder) {
  const std::vector<std::string> expected = {
      "CollectionsTrovClientDynamicConfigurationNotification",
      "CollectionsTrovStoreFulfillmentNotification",
      "CollectionsTrovRentalUpdateNotification",
      "CollectionsTrovSlotEntry",
      "CollectionsTrovSpellBookPageDTO",
      "CollectionsTrovSpellBookDTO",
      "CollectionsTrovTalentEntry",
      "CollectionsTrovMasteryBookPageDTO",
      "CollectionsTrovMasteryBookDTO",
      "CollectionsTrovChampionSkinDTO",
      "CollectionsTrovChampionDTO",
      "CollectionsTrovSummonerRune",
      "CollectionsTrovSummonerRuneInventory",
      "CollectionsTrovSummonerIcon",
      "CollectionsTrovSummonerIconInventoryDTO",
      "ContentItemIdentifier",
      "CollectionsTrovSimpleMessage",
      "KivCollectionsCollectionsRental",
      "KivCollectionsCollectionsOwnership",
      "KivCollectionsCollectionsRune",
      "KivCollectionsCollectionsRunePage",
      "KivCollectionsCollectionsRuneBook",
      "KivCollectionsCollectionsRuneQuantity",
      "KivCollectionsCollectionsRuneQuantities",
      "KivCollectionsCollectionsMastery",
      "KivCollectionsCollectionsMasteryPage",
      "KivCollectionsCollectionsMasteryBook",
      "KivCollectionsSummonerData",
      "KivCollectionsCollectionLoginDataPacket",
      "KivCollectionsCollectionsSummonerSpells",
      "KivCollectionsCollectionsSummonerIcon",
      "KivCollectionsCollectionsSummonerIcons",
      "KivCollectionsCollectionsChampionMastery",
      "KivCollectionsCollectionsTopChampionMasteries",
      "KivCollectionsCollectionsChestEligibility",
      "KivCollectionsCollectionsSummonerBackdropType",
      "KivCollectionsCollectionsSummonerBackdrop",
      "KivCollectionsCollectionsWardSkinList",
      "KivCollectionsCollectionsWardSkin",
      "KivCollectionsAcsChampionGames",
      "KivCollectionsAcsChampionGamesCollection",
      "KivCollectionsSummoner",
      "KivCollectionsPlayerNotification",
      "KivCollectionsLoginSessionStates",
      "KivCollectionsLoginSession",
      "KivCollectionsTrovDynamicClientConfig",
      "KivCollectionsGameDataChampionSummary",
      "KivCollectionsGameDataChampionMasteryRow",
      "KivCollectionsGameDataChampionMasteryGroup",
      "KivCollectionsGameDataChampionMasteryTree",
      "KivCollectionsGameDataChampionMasteries",
      "KivCollectionsGameDataSplashMetadata",
  };
  std::vector<std::string> names;
  for (const Quarn::BindingTypeInfo* type : registry_.TypesInRegistrationOrder()) names.push_back(type->name);
  EXPECT_EQ(names, expected);
}

TEST_F(TypeRegistration, FieldsFollowTheNativeLayoutWithoutFlags) {
  // Registration order must match declaration order; offsets show both.
  for (const Quarn::BindingTypeInfo* type : registry_.TypesInRegistrationOrder()) {
    EXPECT_EQ(type->tags, kTags) << type->name;
    if (type->is_enum) continue;
    ASSERT_FALSE(type->fields.empty()) << type->name;
    for (size_t i = 0; i < type->fields.size(); ++i) {
      const Quarn::BindingFieldInfo& field = type->fields[i];
      EXPECT_EQ(field.flags, 0) << type->name << "." << field.name;
      if (i > 0) {
        EXPECT_GT(field.offset, type->fields[i - 1].offset) << type->name << "." << field.name;
      }
      // Every nested structure or enumeration resolves to a registered type.
      const bool nested = field.type.kind == BindingTypeKind::Struct ||
                          field.type.kind == BindingTypeKind::Enum ||
                          field.type.element_kind == BindingTypeKind::Struct;
      EXPECT_EQ(nested, field.type.type != nullptr) << type->name << "." << field.name;
    }
  }
}

TEST_F(TypeRegistration, FieldKindsKeepTheirWidths) {
  struct Case {
    const char* type;
    size_t field;
    const char* name;
    BindingTypeKind kind;
    BindingTypeKind element;
  };
  const Case cases[] = {
      {"KivCollectionsCollectionsWardSkinList", 0, "wardSkinList", BindingTypeKind::Vector,
       BindingTypeKind::Int64},
      {"KivCollectionsCollectionsSummonerIcons", 1, "icons", BindingTypeKind::Vector, BindingTypeKind::Int32},
      {"KivCollectionsCollectionsSummonerSpells", 1, "spells", BindingTypeKind::Vector,
       BindingTypeKind::UInt64},
      {"KivCollectionsCollectionsMasteryPage", 3, "summary", BindingTypeKind::Map, BindingTypeKind::UInt32},
      {"KivCollectionsPlayerNotification", 2, "data", BindingTypeKind::Map, BindingTypeKind::String},
      {"KivCollectionsTrovDynamicClientConfig", 0, "DisabledChampions", BindingTypeKind::Object,
       BindingTypeKind::None},
      {"KivCollectionsCollectionsSummonerBackdrop", 4, "backdropType", BindingTypeKind::Enum,
       BindingTypeKind::None},
      {"KivCollectionsCollectionsRuneQuantity", 1, "quantity", BindingTypeKind::Int32, BindingTypeKind::None},
      {"CollectionsTrovTalentEntry", 1, "talentId", BindingTypeKind::Int32, BindingTypeKind::None},
      {"CollectionsTrovStoreFulfillmentNotification", 1, "data", BindingTypeKind::Object,
       BindingTypeKind::None},
      {"CollectionsTrovSpellBookPageDTO", 3, "createDate", BindingTypeKind::UInt64, BindingTypeKind::None},
  };
  for (const Case& c : cases) {
    const Quarn::BindingTypeInfo& type = Type(c.type);
    ASSERT_GT(type.fields.size(), c.field) << c.type;
    const Quarn::BindingFieldInfo& field = type.fields[c.field];
    EXPECT_EQ(field.name, c.name) << c.type;
    EXPECT_EQ(field.type.kind, c.kind) << c.type << "." << c.name;
    EXPECT_EQ(field.type.element_kind, c.element) << c.type << "." << c.name;
  }
}

TEST_F(TypeRegistration, FillsBothClassTables) {
  EXPECT_EQ(tables_.class_by_type_name.size(), 17u);
  EXPECT_EQ(tables_.class_by_type_id.size(), 17u);
  EXPECT_EQ(tables_.class_by_type_name.at("CollectionsTrovSpellBookDTO"),
            "com.quarngames.platform.summoner.spellbook.SpellBookDTO");
  EXPECT_EQ(tables_.class_by_type_name.at("ContentItemIdentifier"),
            "com.quarngames.platform.catalog.content.ContentItemIdentifier");
  EXPECT_EQ(tables_.class_by_type_id.at(Quarn::StaticTypeOf<TROV::SimpleMessage>().id),
            "com.quarngames.platform.messaging.persistence.SimpleDialogMessage");
  // The id table and the registry agree on which native type is which.
  EXPECT_EQ(registry_.FindById(Quarn::StaticTypeOf<TROV::MasteryBookDTO>())->name,
            "CollectionsTrovMasteryBookDTO");
}

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

TEST_F(TypeRegistration, LoginDataCarriesBothBookDtos) {
  const auto packet = FromJsonText<Api::CollectionLoginDataPacket>(R"({"allSummonerData":{
      "spellBook":{"summonerId":7,"bookPages":[{"pageId":3,"slotEntries":[{"runeId":1,"runeSlotId":2}]}]},
      "masteryBook":{"summonerId":7,"bookPages":[{"pageId":4,"talentEntries":[{"rank":2,"talentId":4111}]}]}}})");
  const Api::SummonerData& data = packet.all_summoner_data;
  ASSERT_EQ(data.spell_book.book_pages.size(), 1u);
  EXPECT_EQ(data.spell_book.book_pages[0].slot_entries, (std::vector<TROV::SlotEntry>{{1, 2}}));
  ASSERT_EQ(data.mastery_book.book_pages.size(), 1u);
  EXPECT_EQ(data.mastery_book.book_pages[0].talent_entries, (std::vector<TROV::TalentEntry>{{2, 4111}}));
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
