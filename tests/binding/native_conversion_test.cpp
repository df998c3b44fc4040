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
#include "binding/json_reader.h"
#include "binding/json_writer.h"
#include "binding/static_type.h"
#include "support/case_file.h"

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

// Reads `json` into `native`; the failure message, or "" when it converts.
template <class T>
std::string Read(const std::string& json, T& native, const BindingRegistry& registry,
                 const char* name = "v") {
  const BindingResult source = Quarn::FromJson(json);
  EXPECT_TRUE(source.ok()) << json;
  BindingResult result;
  Quarn::FromBindingValue(result, source.value, name, native, registry);
  return std::string(result.ErrorMessage());
}

// What `native` converts to, as JSON (with enum names), or the failure.
template <class T>
std::string Written(const T& native, const BindingRegistry& registry) {
  BindingResult built;
  Quarn::ToBindingValue(built, native, registry);
  return built.ok() ? Quarn::ToJson(built.value, &registry) : "failed: " + std::string(built.ErrorMessage());
}

TEST_F(NativeConversion, RegisteredStructureRoundTrips) {
  Book book;
  book.count = -3;
  book.pages = {{7, "first", true, {8005, 8009}}, {18446744073709551615ull, "", false, {}}};
  book.slot = Slot::kWardSkin;
  book.totals = {{"b", 2}, {"a", 1}};
  book.extra.Member("any").SetString("thing");
  book.ratio = 0.25;
  book.blob = {0, 255};
  // Every field is written when no flag says otherwise, zeros and "" included.
  const std::string json =
      R"({"blob":"AP8=","count":-3,"extra":{"any":"thing"},"pages":[{"current":true,"id":7,"name":"first",)"
      R"("perks":[8005,8009]},{"current":false,"id":18446744073709551615,"name":"","perks":[]}],)"
      R"("ratio":0.25,"slot":"ward-skin","totals":{"a":1,"b":2}})";
  EXPECT_EQ(Written(book, registry_), json);
  BindingResult built;
  Quarn::ToBindingValue(built, book, registry_);
  EXPECT_EQ(built.value.Member("slot").GetEnum().type, &Quarn::StaticTypeOf<Slot>());
  EXPECT_EQ(built.value.Member("count").kind(), Quarn::BindingPropertyKind::Signed);

  Book back;
  BindingResult read;
  Quarn::FromBindingValue(read, built.value, "book", back, registry_);
  ASSERT_TRUE(read.ok()) << read.ErrorMessage();
  EXPECT_EQ(Written(back, registry_), json);
  // Enums and blobs also read from their text forms, as JSON carries them.
  ASSERT_EQ(Read(json, back, registry_), "");
  EXPECT_EQ(Written(back, registry_), json);
  EXPECT_EQ(back.slot, Slot::kWardSkin);
  EXPECT_EQ(back.blob, book.blob);
}

TEST_F(NativeConversion, StructureFailuresNameTheFailingPart) {
  for (const kiv::test::FileCase& c :
       kiv::test::ReadCaseFile(KIV_SOURCE_DIR "/tests/binding/native_cases.txt")) {
    Book book;
    EXPECT_EQ(Read(c.input(), book, registry_, "book"), c.Get("->")) << c.where;
  }
}

TEST_F(NativeConversion, UnregisteredStructures) {
  struct Unknown {
    int32_t a = 0;
  };
  Unknown unknown;
  EXPECT_EQ(Read(R"({"a":1})", unknown, registry_, "u"),
            "Couldn't assign value to 'u' because the input is an unregistered structure or not a structure "
            "at all.");
  EXPECT_EQ(Written(unknown, registry_),
            "failed: Couldn't convert native value because it's an unregistered structure.");
}

TEST_F(NativeConversion, FailedFieldIsZeroedAndMissingOnesKeepTheirValues) {
  Strict native{10, 20, 30};
  EXPECT_EQ(Read(R"({"first":1,"second":"bad","third":3,"unknown":4})", native, registry_),
            "Value bad for 'second' of type int32 is in an incorrect format");
  EXPECT_EQ(native.first, 1);
  EXPECT_EQ(native.second, 0);
  EXPECT_EQ(native.third, 30);  // not reached after the failure

  native = {10, 20, 30};
  EXPECT_EQ(Read(R"({"third":3,"extra":9})", native, registry_), "");
  EXPECT_EQ(native.first, 10);  // optional and missing: untouched
  EXPECT_EQ(native.third, 3);
  EXPECT_EQ(Read(R"({"first":1})", native, registry_, "strict"),
            "Couldn't assign value to 'strict' of type Strict because the input structure doesn't have "
            "required field 'third'.");
}

TEST_F(NativeConversion, OmitWhenDefaultSkipsOnlyDefaults) {
  EXPECT_EQ(Written(Strict{0, 0, 0}, registry_), R"({"first":0,"third":0})");
  EXPECT_EQ(Written(Strict{0, 2, 0}, registry_), R"({"first":0,"second":2,"third":0})");
  BindingProperty nan;
  nan.SetDouble(std::nan(""));
  EXPECT_FALSE(Quarn::IsDefaultValue(nan));
  nan.SetString("");
  EXPECT_TRUE(Quarn::IsDefaultValue(nan));
}

TEST_F(NativeConversion, ContainersVectorsMapsAndOptionals) {
  std::vector<int32_t> out{9, 9, 9, 9};
  EXPECT_EQ(Read("[1,null,3]", out, registry_), "");
  EXPECT_EQ(out, (std::vector<int32_t>{1, 0, 3}));  // an empty element reads as zero
  EXPECT_EQ(Read(R"({"a":1})", out, registry_, "list"),
            "Couldn't assign value to 'list' of type vector because the input not a collection.");
  EXPECT_TRUE(out.empty());

  std::unordered_map<std::string, std::vector<bool>> flags{{"x", {true, false}}}, back;
  EXPECT_EQ(Read(Written(flags, registry_), back, registry_), "");
  EXPECT_EQ(back, flags);
  std::optional<Slot> slot = Slot::kSummonerIcon;
  EXPECT_EQ(Read("null", slot, registry_), "");
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
