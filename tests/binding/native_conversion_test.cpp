// Native structures, vectors, maps and enums to binding values and back
// through the type registry, and the registry itself.
#include "binding/native_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "binding/binding_registry.h"
#include "binding/static_type.h"

namespace {

using Quarn::BindingProperty;
using Quarn::BindingRegistry;
using Quarn::BindingResult;
using Quarn::BindingTypeKind;
using Quarn::BindingTypeRef;

enum class Slot : int32_t { kNone = 0, kSummonerIcon = 3, kWardSkin = 4 };

struct Page {
  uint64_t id = 0;
  std::string name;
  bool current = false;
  std::vector<int32_t> perks;
};

struct Book {
  int32_t count = 0;
  std::vector<Page> pages;
  Slot slot = Slot::kNone;
  std::map<std::string, uint32_t> totals;
  BindingProperty extra;
  double ratio = 0;
  std::vector<uint8_t> blob;
};

struct Strict {
  int32_t first = 0;
  int32_t second = 0;
  int32_t third = 0;
};

class NativeConversion : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_.Enumeration<Slot>("Slot")
        .Value("none", Slot::kNone)
        .Value("summoner-icon", Slot::kSummonerIcon)
        .Value("ward-skin", Slot::kWardSkin);
    registry_.Structure<Page>("Page")
        .Field("id", &Page::id, Quarn::kFieldRequired)
        .Field("name", &Page::name)
        .Field("current", &Page::current)
        .Field("perks", &Page::perks);
    registry_.Structure<Book>("Book")
        .Field("count", &Book::count)
        .Field("pages", &Book::pages)
        .Field("slot", &Book::slot)
        .Field("totals", &Book::totals)
        .Field("extra", &Book::extra)
        .Field("ratio", &Book::ratio)
        .Field("blob", &Book::blob);
    registry_.Structure<Strict>("Strict")
        .Field("first", &Strict::first)
        .Field("second", &Strict::second, "the second one", Quarn::kFieldOmitWhenDefault)
        .Field("third", &Strict::third, Quarn::kFieldRequired);
  }

  BindingRegistry registry_;
};

Book SampleBook() {
  Book book;
  book.count = -3;
  book.pages = {{7, "first", true, {8005, 8009}}, {18446744073709551615ull, "", false, {}}};
  book.slot = Slot::kWardSkin;
  book.totals = {{"b", 2}, {"a", 1}};
  book.extra.Member("any").SetString("thing");
  book.ratio = 0.25;
  book.blob = {0, 255};
  return book;
}

TEST_F(NativeConversion, RegisteredStructureRoundTrips) {
  const Book book = SampleBook();
  BindingResult built;
  Quarn::ToBindingValue(built, book, registry_);
  ASSERT_TRUE(built.ok()) << built.ErrorMessage();
  const BindingProperty& value = built.value;
  EXPECT_EQ(value.Member("count").GetSigned(), -3);
  EXPECT_EQ(value.Member("pages").Element(1).Member("id").GetUnsigned(), 18446744073709551615ull);
  EXPECT_EQ(value.Member("slot").GetEnum().value, 4);
  EXPECT_EQ(value.Member("slot").GetEnum().type, &Quarn::StaticTypeOf<Slot>());
  EXPECT_EQ(value.Member("totals").Members()[0].name(), "a");
  EXPECT_EQ(value.Member("blob").size(), 2u);
  // Every field is written when no flag says otherwise, zeros and "" included.
  EXPECT_EQ(value.Member("pages").Element(1).size(), 4u);
  EXPECT_EQ(value.Member("pages").Element(1).Member("name").kind(), Quarn::BindingPropertyKind::String);

  Book back;
  BindingResult read;
  Quarn::FromBindingValue(read, value, "book", back, registry_);
  ASSERT_TRUE(read.ok()) << read.ErrorMessage();
  EXPECT_EQ(back.count, -3);
  ASSERT_EQ(back.pages.size(), 2u);
  EXPECT_EQ(back.pages[0].perks, (std::vector<int32_t>{8005, 8009}));
  EXPECT_EQ(back.pages[0].name, "first");
  EXPECT_TRUE(back.pages[0].current);
  EXPECT_EQ(back.pages[1].id, 18446744073709551615ull);
  EXPECT_EQ(back.slot, Slot::kWardSkin);
  EXPECT_EQ(back.totals, book.totals);
  EXPECT_EQ(back.extra.Member("any").GetString(), "thing");
  EXPECT_EQ(back.ratio, 0.25);
  EXPECT_EQ(back.blob, book.blob);

  // Enums and blobs also read from their text forms.
  BindingProperty text;
  text.Member("slot").SetString("summoner-icon");
  text.Member("blob").SetString("AP8=");
  Quarn::FromBindingValue(read, text, "book", back, registry_);
  ASSERT_TRUE(read.ok()) << read.ErrorMessage();
  EXPECT_EQ(back.slot, Slot::kSummonerIcon);
  EXPECT_EQ(back.blob, (std::vector<uint8_t>{0, 255}));
}

struct StructCase {
  const char* label;
  void (*make)(BindingProperty&);
  const char* message;
};

const StructCase kStructFailures[] = {
    {"empty input", [](BindingProperty&) {}, "A value for 'book' is required."},
    {"not a structure", [](BindingProperty& v) { v.SetSigned(1); },
     "Couldn't assign value to 'book' of type Book because the input not a structure."},
    {"pages not a collection", [](BindingProperty& v) { v.Member("pages").Member("x").SetSigned(1); },
     "Couldn't assign value to 'pages' of type vector because the input not a collection."},
    {"totals not a structure", [](BindingProperty& v) { v.Member("totals").Append().SetSigned(1); },
     "Couldn't assign value to 'totals' of type map because the input not a structure."},
    {"map element out of range", [](BindingProperty& v) { v.Member("totals").Member("a").SetSigned(-1); },
     "Value -1 for 'totals' of type uint32 is out of range"},
    {"page without required id",
     [](BindingProperty& v) { v.Member("pages").Append().Member("name").SetString("x"); },
     "Couldn't assign value to 'pages' of type Page because the input structure doesn't have required field "
     "'id'."},
    {"vector element",
     [](BindingProperty& v) {
       auto& page = v.Member("pages").Append();
       page.Member("id").SetUnsigned(1);
       page.Member("perks").Append().SetString("x");
     },
     "Value x for 'perks' of type int32 is in an incorrect format"},
    {"unknown enumerator", [](BindingProperty& v) { v.Member("slot").SetString("banner"); },
     "banner is not a valid Slot enumeration value for 'slot'."},
    {"bad blob text", [](BindingProperty& v) { v.Member("blob").SetString("A"); },
     "Value A for 'blob' of type blob is in an incorrect format"},
};

TEST_F(NativeConversion, StructureFailuresNameTheFailingPart) {
  for (const auto& c : kStructFailures) {
    BindingProperty source;
    c.make(source);
    Book book;
    BindingResult result;
    Quarn::FromBindingValue(result, source, "book", book, registry_);
    EXPECT_EQ(result.ErrorMessage(), c.message) << c.label;
  }
}

TEST_F(NativeConversion, UnregisteredStructures) {
  struct Unknown {
    int32_t a = 0;
  };
  BindingProperty source;
  source.Member("a").SetSigned(1);
  Unknown unknown;
  BindingResult read;
  Quarn::FromBindingValue(read, source, "u", unknown, registry_);
  EXPECT_EQ(read.ErrorMessage(),
            "Couldn't assign value to 'u' because the input is an unregistered structure or not a structure "
            "at all.");
  BindingResult built;
  Quarn::ToBindingValue(built, unknown, registry_);
  EXPECT_EQ(built.ErrorMessage(), "Couldn't convert native value because it's an unregistered structure.");
}

TEST_F(NativeConversion, FailedFieldIsZeroedAndLaterFieldsKeepTheirValues) {
  BindingProperty source;
  source.Member("first").SetSigned(1);
  source.Member("second").SetString("bad");
  source.Member("third").SetSigned(3);
  source.Member("unknown").SetSigned(4);
  Strict native{10, 20, 30};
  BindingResult result;
  Quarn::FromBindingValue(result, source, "strict", native, registry_);
  EXPECT_EQ(result.ErrorMessage(), "Value bad for 'second' of type int32 is in an incorrect format");
  EXPECT_EQ(native.first, 1);
  EXPECT_EQ(native.second, 0);
  EXPECT_EQ(native.third, 30);
}

TEST_F(NativeConversion, MissingFields) {
  Strict native{10, 20, 30};
  BindingProperty source;
  source.Member("third").SetSigned(3);
  source.Member("extra").SetSigned(9);
  BindingResult result;
  Quarn::FromBindingValue(result, source, "strict", native, registry_);
  ASSERT_TRUE(result.ok()) << result.ErrorMessage();
  EXPECT_EQ(native.first, 10);  // optional and missing: untouched
  EXPECT_EQ(native.third, 3);

  source.EraseMember("third");
  Quarn::FromBindingValue(result, source, "strict", native, registry_);
  EXPECT_EQ(result.ErrorMessage(),
            "Couldn't assign value to 'strict' of type Strict because the input structure doesn't have "
            "required field 'third'.");
}

TEST_F(NativeConversion, OmitWhenDefaultSkipsOnlyDefaults) {
  BindingResult zero;
  Quarn::ToBindingValue(zero, Strict{0, 0, 0}, registry_);
  ASSERT_TRUE(zero.ok());
  EXPECT_EQ(zero.value.size(), 2u);
  EXPECT_EQ(zero.value.FindMember("second"), nullptr);
  BindingResult set;
  Quarn::ToBindingValue(set, Strict{0, 2, 0}, registry_);
  EXPECT_EQ(set.value.Member("second").GetSigned(), 2);

  BindingProperty nan;
  nan.SetDouble(std::nan(""));
  EXPECT_FALSE(Quarn::IsDefaultValue(nan));
  nan.SetString("");
  EXPECT_TRUE(Quarn::IsDefaultValue(nan));
}

TEST_F(NativeConversion, VectorSkipsEmptyElements) {
  BindingProperty source;
  source.Append().SetSigned(1);
  source.Append();
  source.Append().SetSigned(3);
  std::vector<int32_t> out{9, 9, 9, 9};
  BindingResult result;
  Quarn::FromBindingValue(result, source, "list", out, registry_);
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(out, (std::vector<int32_t>{1, 0, 3}));

  BindingProperty structure;
  structure.Member("a").SetSigned(1);
  Quarn::FromBindingValue(result, structure, "list", out, registry_);
  EXPECT_EQ(result.ErrorMessage(),
            "Couldn't assign value to 'list' of type vector because the input not a collection.");
  EXPECT_TRUE(out.empty());
}

TEST_F(NativeConversion, UnorderedMapsAndOptionals) {
  std::unordered_map<std::string, std::vector<bool>> flags{{"x", {true, false}}};
  BindingResult built;
  Quarn::ToBindingValue(built, flags, registry_);
  std::unordered_map<std::string, std::vector<bool>> back;
  BindingResult read;
  Quarn::FromBindingValue(read, built.value, "flags", back, registry_);
  ASSERT_TRUE(read.ok()) << read.ErrorMessage();
  EXPECT_EQ(back, flags);

  std::optional<Slot> slot = Slot::kSummonerIcon;
  Quarn::FromBindingValue(read, BindingProperty(), "slot", slot, registry_);
  EXPECT_FALSE(slot.has_value());
}

struct First {};
struct Second {};
enum class Shared { kA, kB };

TEST(BindingRegistry, FirstRegistrationOfANameWins) {
  BindingRegistry registry;
  const auto& type = Quarn::StaticTypeOf<First>();
  registry.RegisterType(8, "X", type, false)
      .AddField("a", "", 0, type, BindingTypeRef{BindingTypeKind::Int32}, {}, 0, nullptr)
      .AddField("b", "", 4, type, BindingTypeRef{BindingTypeKind::Int32}, {}, 0, nullptr)
      .SetDescription("first");
  auto again = registry.RegisterType(16, "X", Quarn::StaticTypeOf<Second>(), false);
  EXPECT_TRUE(again.already_registered());
  again.AddField("c", "", 8, type, BindingTypeRef{BindingTypeKind::Int32}, {}, 0, nullptr)
      .SetDescription("second")
      .AddTag("tag")
      .AddEnumerator("e", 1);

  const auto* info = registry.FindByName("X");
  ASSERT_NE(info, nullptr);
  ASSERT_EQ(info->fields.size(), 2u);
  EXPECT_EQ(info->fields[0].name, "a");
  EXPECT_EQ(info->fields[1].name, "b");
  EXPECT_EQ(info->fields[1].owner, info);
  EXPECT_EQ(info->description, "first");
  EXPECT_TRUE(info->tags.empty());
  EXPECT_TRUE(info->enumerators.empty());
  EXPECT_EQ(info->size, 8u);
  EXPECT_EQ(registry.FindById(type), info);
  EXPECT_EQ(registry.FindById(Quarn::StaticTypeOf<Second>()), nullptr);
}

TEST(BindingRegistry, ReservedIdIsFoundByNameOnly) {
  BindingRegistry registry;
  const auto& reserved = Quarn::StaticTypeForId(BindingRegistry::kUnindexedTypeId);
  registry.RegisterType(1, "Reserved", reserved, false);
  EXPECT_NE(registry.FindByName("Reserved"), nullptr);
  EXPECT_EQ(registry.FindById(reserved), nullptr);
  EXPECT_EQ(reserved.name, "#1BE7EF8E");
}

TEST(BindingRegistry, EnumeratorsByNameAndValue) {
  BindingRegistry registry;
  registry.RegisterType(4, "Shared", Quarn::StaticTypeOf<Shared>(), true)
      .AddEnumerator("beta", 3)
      .AddEnumerator("alpha", 3)
      .AddEnumerator("gamma", 4, "described")
      .AddEnumerator("gamma", 5);  // overwrites
  const auto* info = registry.FindByName("Shared");
  ASSERT_NE(info, nullptr);
  EXPECT_TRUE(info->is_enum);
  EXPECT_STREQ(registry.EnumeratorName(Quarn::StaticTypeOf<Shared>(), 3), "alpha");
  EXPECT_EQ(registry.EnumeratorName(Quarn::StaticTypeOf<Shared>(), 4), nullptr);
  EXPECT_TRUE(Quarn::EnumeratorIsDefined(*info, 5));
  EXPECT_FALSE(Quarn::EnumeratorIsDefined(*info, 4));
  EXPECT_EQ(Quarn::EnumeratorValue(*info, "gamma"), 5);
  EXPECT_EQ(Quarn::EnumeratorValue(*info, "Gamma"), std::nullopt);
}

TEST(BindingRegistry, ListsByNameAndByRegistrationOrderAndSkipsEmptyTags) {
  BindingRegistry registry;
  registry.RegisterType(1, "Zeta", Quarn::StaticTypeOf<First>(), false).AddTag("").AddTags({"a", "", "b"});
  registry.RegisterType(1, "Alpha", Quarn::StaticTypeOf<Second>(), false);
  registry.RegisterType(1, "Zeta", Quarn::StaticTypeOf<Second>(), false);
  std::vector<std::string> by_name;
  for (const auto& [name, info] : registry.ListTypes()) by_name.push_back(name);
  std::vector<std::string> in_order;
  for (const auto* info : registry.TypesInRegistrationOrder()) in_order.push_back(info->name);
  EXPECT_EQ(by_name, (std::vector<std::string>{"Alpha", "Zeta"}));
  EXPECT_EQ(in_order, (std::vector<std::string>{"Zeta", "Alpha"}));
  EXPECT_EQ(registry.FindByName("Zeta")->tags, (std::vector<std::string>{"a", "b"}));  // empty tags skipped
}

}  // namespace
