// Request bodies convert into the API types by their registered widths. The
// registrations themselves (names, fields, offsets, enumerators) are pinned
// by the API description's golden file (tests/tools/describe_golden_test.cpp).
#include "collections/type_registration.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "binding/json_reader.h"
#include "binding/native_conversion.h"
#include "collections/api_types.h"
#include "collections/trov_dtos.h"

namespace {

using namespace Quarn::Client::Collections;
using Quarn::BindingResult;

const std::vector<std::string> kTags = {"Plugins", "Plugin kiv-collections"};

class TypeRegistration : public ::testing::Test {
 protected:
  TypeRegistration() {
    RegisterTrovDtos(registry_, tables_, kTags);
    RegisterApiTypes(registry_, "KivCollections", kTags);
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
