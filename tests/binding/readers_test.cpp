// The three readers and the JSON writer on one table, reader_cases.txt: each
// case is an input in one wire form and either the tree it reads to (as a
// Dump, which keeps the kinds JSON hides) or the exact failure message, and
// may give the bytes consumed and what the writer makes of the tree, in
// memory and streamed. Then the writer's layout and enum names, and the
// builder and scratch pool behind the readers.
#include <gtest/gtest.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "binding/binding_registry.h"
#include "binding/detail/binding_document.h"
#include "binding/detail/json_full_reader.h"
#include "binding/detail/plain_json.h"
#include "binding/detail/scratch_pool.h"
#include "binding/detail/tree_builder.h"
#include "binding/json_reader.h"
#include "binding/json_writer.h"
#include "binding/msgpack_reader.h"
#include "binding/static_type.h"
#include "binding/yaml_reader.h"
#include "support/case_file.h"

namespace {

using Quarn::BindingProperty;
using Quarn::BindingResult;

enum Format { kJson, kPack, kYaml };
constexpr size_t kAll = static_cast<size_t>(-1);  // the whole input is consumed

struct ReadCase {
  Format format;
  std::string input;
  std::string expected;               // Dump of the tree, or the failure message
  size_t consumed = kAll;             // MessagePack only
  std::optional<std::string> json{};  // what ToJson writes for the tree
  std::string where{};
};

// u1 Unsigned, s-1 Signed, f1.5 Float, "x" String, b'x' Blob, ~ Empty; it
// recurses, so only for the small trees of the table.
std::string Dump(const BindingProperty& value) {
  using Kind = Quarn::BindingPropertyKind;
  std::string out;
  char buffer[64];
  switch (value.kind()) {
    case Kind::Empty:
      return "~";
    case Kind::Bool:
      return value.GetBool() ? "true" : "false";
    case Kind::Signed:
      return "s" + std::to_string(value.GetSigned());
    case Kind::Unsigned:
      return "u" + std::to_string(value.GetUnsigned());
    case Kind::Float:
      return "f" + std::string(buffer, std::to_chars(buffer, buffer + 64, value.GetDouble()).ptr);
    case Kind::String:
      return "\"" + std::string(value.GetString()) + "\"";
    case Kind::Blob:
      return "b'" + std::string(value.GetBlob().begin(), value.GetBlob().end()) + "'";
    case Kind::Collection:
      for (const auto& element : value.Elements()) out += (out.empty() ? "" : ",") + Dump(element);
      return "[" + out + "]";
    case Kind::Structure:
      for (const auto& m : value.Members()) {
        out += (out.empty() ? "" : ",") + std::string(m.name()) + ":" + Dump(m.value());
      }
      return "{" + out + "}";
    default:
      return "?";
  }
}

BindingResult Read(const ReadCase& c, size_t& consumed) {
  consumed = kAll;
  if (c.format == kJson) return Quarn::FromJson(c.input);
  if (c.format == kYaml) return Quarn::ReadYaml(c.input);
  auto read = Quarn::ReadMsgPack(reinterpret_cast<const uint8_t*>(c.input.data()), c.input.size());
  consumed = read.consumed;
  return std::move(read.result);
}

// What WriteJson streams to a file.
std::string Streamed(const BindingProperty& value, bool pretty = false) {
  std::FILE* file = std::tmpfile();
  EXPECT_TRUE(Quarn::WriteJson(value, file, pretty));
  std::string text(static_cast<size_t>(std::ftell(file)), '\0');
  std::rewind(file);
  EXPECT_EQ(std::fread(text.data(), 1, text.size(), file), text.size());
  std::fclose(file);
  return text;
}

// RapidJSON's own recursive mode on the same text: the reader's messages and
// offsets must be the ones it reports.
std::string DefaultModeMessage(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  rapidjson::BaseReaderHandler<> handler;
  rapidjson::Reader reader;
  rapidjson::MemoryStream stream(text.data(), text.size());
  const rapidjson::ParseResult parsed = reader.Parse<rapidjson::kParseDefaultFlags>(stream, handler);
  return parsed.IsError() ? Quarn::JsonErrorMessage(parsed.Code(), parsed.Offset()) : std::string();
}

// The cases of reader_cases.txt beside this file.
const std::vector<ReadCase>& Cases() {
  static const std::vector<ReadCase> cases = [] {
    std::vector<ReadCase> read;
    for (const kiv::test::FileCase& file_case :
         kiv::test::ReadCaseFile(KIV_SOURCE_DIR "/tests/binding/reader_cases.txt")) {
      ReadCase c{file_case.kind() == "json"   ? kJson
                 : file_case.kind() == "pack" ? kPack
                                              : kYaml,
                 file_case.input(),
                 file_case.Get("->").value_or("?"),
                 kAll,
                 file_case.Get("writes"),
                 file_case.where};
      if (c.format == kPack) {
        std::istringstream hex(c.input);
        c.input.clear();
        for (unsigned byte; hex >> std::hex >> byte;) c.input += static_cast<char>(byte);
      }
      if (auto consumed = file_case.Get("consumed")) c.consumed = std::stoul(*consumed);
      read.push_back(std::move(c));
    }
    return read;
  }();
  return cases;
}

TEST(Readers, ReadEachInputToItsTreeOrItsExactFailure) {
  for (const ReadCase& c : Cases()) {
    const std::string& what = c.where;
    size_t consumed;
    const BindingResult result = Read(c, consumed);
    EXPECT_EQ(result.ok() ? Dump(result.value) : std::string(result.ErrorMessage()), c.expected) << what;
    if (c.format == kPack) {
      EXPECT_EQ(consumed, c.consumed == kAll ? c.input.size() : c.consumed) << what;
    }
    if (c.format == kJson && !result.ok()) {
      EXPECT_EQ(DefaultModeMessage(c.input), c.expected) << what;
    }
    if (c.format == kJson) {
      const BindingResult full = Quarn::detail::ReadJsonInFull(c.input);
      EXPECT_EQ(full.ok() ? Dump(full.value) : std::string(full.ErrorMessage()), c.expected) << what << " (in full)";
    }
    if (c.json) {
      EXPECT_EQ(Quarn::ToJson(result.value), *c.json) << what;
      EXPECT_EQ(Streamed(result.value), *c.json) << what;
    }
  }
}

// What the writer makes of a JSON reading reads back to the same text.
TEST(Readers, JsonWrittenFromAReadingReadsBackTheSame) {
  for (const ReadCase& c : Cases()) {
    if (c.format != kJson) continue;
    const BindingResult first = Quarn::FromJson(c.input);
    if (!first.ok()) continue;
    const std::string once = Quarn::ToJson(first.value);
    const BindingResult second = Quarn::FromJson(once);
    ASSERT_TRUE(second.ok()) << once;
    EXPECT_EQ(Quarn::ToJson(second.value), once) << c.where;
  }
}

// Random documents in the forms the JSON fast path takes, each also with one
// byte deleted, replaced or doubled: FromJson answers as RapidJSON alone
// does, and whatever the fast path takes reads to the same tree.
TEST(JsonReader, FastPathAndFullReaderAgreeOnGeneratedDocuments) {
  std::mt19937_64 random(20261208);
  const auto pick = [&random](const auto& choices) { return choices[random() % std::size(choices)]; };
  const char* const spaces[] = {"", "", "", " ", "\n  ", "\t", "\r\n"};
  const char* const texts[] = {"a", "id", "\\n", "\\\"", "\\u00e9", "\\ud83d\\ude00", "\\/", "^", "\xc3\xa9",
                               "0123456789abcdef", "\\u0000", " ", "\\b\\f\\r\\t"};
  const char* const numbers[] = {"0", "-0", "42", "-17", "3.25", "-0.5e-3", "1E10", "6.02e+23", "18446744073709551615",
                                 "9223372036854775808", "-9223372036854775808", "0.1", "1e-400", "4.9e-324",
                                 "1.7976931348623157e308", "true", "false", "null"};
  const char* const keys[] = {"\"a\"", "\"b\"", "\"id\"", "\"\"", "\"\\u0061\""};
  const std::function<void(std::string&, int)> value = [&](std::string& out, int depth) {
    const size_t kind = random() % (depth > 4 ? 4 : 7);
    if (kind < 3) {
      out += pick(numbers);
    } else if (kind == 3) {
      out += '"';
      for (size_t n = random() % 5; n > 0; --n) out += pick(texts);
      out += '"';
    } else {
      const bool object = kind >= 5;
      out += object ? '{' : '[';
      for (size_t n = random() % 5, i = 0; i < n; ++i) {
        out.append(i > 0 ? "," : "").append(pick(spaces));
        if (object) out.append(pick(keys)).append(pick(spaces)).append(":").append(pick(spaces));
        value(out, depth + 1);
        out += pick(spaces);
      }
      out += object ? '}' : ']';
    }
  };
  const auto read = [](const BindingResult& r) { return r.ok() ? Dump(r.value) : std::string(r.ErrorMessage()); };
  size_t taken = 0;
  constexpr int kDocuments = 1500;
  for (int i = 0; i < kDocuments && !HasFailure(); ++i) {
    std::string text;
    value(text, 0);
    std::string broken = text;
    const size_t at = random() % broken.size();
    switch (random() % 3) {
      case 0: broken.erase(at, 1); break;
      case 1: broken[at] = "\"\\,:[]{}0-.e \x01"[random() % 15]; break;
      default: broken.insert(at, 1, broken[at]); break;
    }
    for (const std::string& input : {text, broken}) {
      const std::string full = read(Quarn::detail::ReadJsonInFull(input));
      EXPECT_EQ(read(Quarn::FromJson(input)), full) << input;
      BindingProperty plain;
      if (!Quarn::detail::ReadPlainJson(input, plain)) continue;
      EXPECT_EQ(Dump(plain), full) << "taken by the fast path: " << input;
    }
    BindingProperty plain;
    taken += Quarn::detail::ReadPlainJson(text, plain) ? 1 : 0;
  }
  // Most generated documents are the fast path's own: it is not dead.
  EXPECT_GT(taken, size_t{kDocuments / 2});
}

// Every input the reader fuzz targets kept (fuzz/regressions/<reader>/): none
// may crash, a failure is the reader's own, JSON fails as RapidJSON's
// recursive mode does where that mode can go, and a tree that was read is
// written as JSON that reads back.
TEST(Readers, FuzzRegressionsReadOrFailWithTheirReadersMessage) {
  const struct {
    Format format;
    const char* folder;
    const char* message_start;
  } readers[] = {
      {kJson, "json", "Error: "}, {kPack, "msgpack", "Invalid MessagePack data"}, {kYaml, "yaml", ""}};
  for (const auto& reader : readers) {
    const auto dir = std::filesystem::path(KIV_SOURCE_DIR) / "fuzz" / "regressions" / reader.folder;
    size_t inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      if (!entry.is_regular_file()) continue;
      ++inputs;
      std::ifstream in(entry.path(), std::ios::binary);
      std::ostringstream bytes;
      bytes << in.rdbuf();
      const ReadCase c{reader.format, bytes.str(), ""};
      size_t consumed;
      const BindingResult result = Read(c, consumed);
      if (c.format == kPack) {
        EXPECT_LE(consumed, c.input.size()) << entry.path();
      }
      const std::string_view text = std::string_view(c.input).substr(0, c.input.find('\0'));
      const bool shallow =
          std::count(text.begin(), text.end(), '[') + std::count(text.begin(), text.end(), '{') < 200;
      if (c.format == kJson && shallow && text.find_first_not_of(" \t\r\n") != std::string_view::npos) {
        EXPECT_EQ(result.ErrorMessage(), DefaultModeMessage(text)) << entry.path();
      } else if (!result.ok()) {
        EXPECT_EQ(result.ErrorMessage().rfind(reader.message_start, 0), 0u) << entry.path();
        EXPECT_FALSE(result.ErrorMessage().empty()) << entry.path();
      }
      const std::string json = result.ok() ? Quarn::ToJson(result.value) : "";
      if (!json.empty()) {
        EXPECT_TRUE(Quarn::FromJson(json).ok()) << entry.path();
      }
    }
    EXPECT_GT(inputs, 0u) << dir;
  }
}

TEST(Readers, DeepNestingNeitherRecursesNorOverflows) {
  constexpr size_t kDepth = 1000000;
  const std::string arrays = std::string(kDepth, '[') + std::string(kDepth, ']');
  const BindingResult json = Quarn::FromJson(arrays);
  ASSERT_TRUE(json.ok()) << json.ErrorMessage();
  EXPECT_EQ(Quarn::ToJson(json.value), arrays);
  std::string objects;
  for (size_t i = 0; i < kDepth; ++i) objects += R"({"a":)";
  objects += "1" + std::string(kDepth, '}');
  const BindingResult nested = Quarn::FromJson(objects);
  ASSERT_TRUE(nested.ok()) << nested.ErrorMessage();
  EXPECT_EQ(Quarn::ToJson(nested.value), objects);
  EXPECT_EQ(Quarn::FromJson(std::string(kDepth, '[')).ErrorMessage(),
            "Error: Invalid value. at offset 1000000.");

  std::vector<uint8_t> packed(kDepth, 0x91);
  packed.push_back(0x01);
  const auto read = Quarn::ReadMsgPack(packed.data(), packed.size());
  ASSERT_TRUE(read.result.ok()) << read.result.ErrorMessage();
  EXPECT_EQ(read.consumed, packed.size());
  EXPECT_EQ(Quarn::ToJson(read.result.value), std::string(kDepth, '[') + "1" + std::string(kDepth, ']'));
  std::vector<uint8_t> maps;
  for (size_t i = 0; i < kDepth; ++i) maps.insert(maps.end(), {0x81, 0xA1, 'k'});
  maps.push_back(0xC3);
  const auto map_read = Quarn::ReadMsgPack(maps.data(), maps.size());
  ASSERT_TRUE(map_read.result.ok()) << map_read.result.ErrorMessage();
  EXPECT_EQ(map_read.consumed, maps.size());

  std::string block;
  for (size_t i = 0; i < kDepth; ++i) block += "- ";
  const BindingResult yaml = Quarn::ReadYaml(block + "x");
  ASSERT_TRUE(yaml.ok()) << yaml.ErrorMessage();
  EXPECT_EQ(Quarn::ToJson(yaml.value), std::string(kDepth, '[') + "\"x\"" + std::string(kDepth, ']'));
  EXPECT_TRUE(Quarn::ReadYaml(std::string(1000, '[') + std::string(1000, ']')).ok());
  EXPECT_EQ(Quarn::ReadYaml(arrays).ErrorMessage(),
            "YAML flow collections nested deeper than 1000 levels are not supported. At line: 1 col: 1001");

  // Pretty output grows with the square of the depth; a modest depth
  // checks the layout still closes every level.
  BindingProperty shallow;
  BindingProperty* node = &shallow;
  for (size_t i = 0; i < 100; ++i) node = &node->Member("k");
  const std::string pretty = Quarn::ToJson(shallow, nullptr, "\n");
  EXPECT_EQ(pretty.substr(pretty.size() - 7), "    }\n}");
}

TEST(Readers, YamlLimitsExponentialAliasExpansion) {
  std::string bomb = "a: &a [1,1,1,1,1,1,1,1,1,1]\n";
  for (char level = 'b'; level <= 'h'; ++level) {
    const char previous = static_cast<char>(level - 1);
    bomb += std::string(1, level) + ": &" + level + " [";
    for (int i = 0; i < 10; ++i) bomb += std::string(i ? "," : "") + "*" + previous;
    bomb += "]\n";
  }
  EXPECT_EQ(Quarn::ReadYaml(bomb).ErrorMessage(),
            "YAML aliases expand to more than 1000000 values. Alias \"e\". At line: 6 col: 29");
}

enum class Shade : int32_t { kDark = 1, kLight = 2 };

// ReadYaml builds documents without anchors through the tree builder and
// reads the rest member by member. An anchor that nothing refers to changes
// no value, so each document must read the same with one as without.
TEST(YamlReader, BuilderAndMemberPathsAgree) {
  // Each text's first "1" becomes "&unused 1" for the member-by-member read.
  const char* const texts[] = {
      "a: 1\nb: {x: [1, 2]}\na: 3\n",                  // repeated scalar: the later wins
      "m: {x: 1, y: [1]}\nm: {y: [2], z: ~}\nk: 1\n",  // mappings merge, sequences append
      "s: {x: 1}\ns: ~\nt: [1]\nt: {u: 1}\n",          // a later null or other kind replaces
      "- 1\n- {b: 1, a: 2, b: 3}\n- [z, y]\n",         // members sorted, duplicates inside a list
      "a: !!int 1\nb: !!str 2\nc: !!float '3'\nd: \"k\\0l\"\n\"x\\0y\": 1\n",
      "{c: 1, a: [{d: 1}, {d: 2}], b: {}, '': ''}",
  };
  for (const std::string text : texts) {
    SCOPED_TRACE(text);
    std::string anchored = text;
    anchored.replace(anchored.find('1'), 1, "&unused 1");
    const Quarn::BindingResult built = Quarn::ReadYaml(text);
    const Quarn::BindingResult member_by_member = Quarn::ReadYaml(anchored);
    ASSERT_TRUE(built.ok()) << built.ErrorMessage();
    ASSERT_TRUE(member_by_member.ok()) << member_by_member.ErrorMessage();
    EXPECT_EQ(Dump(built.value), Dump(member_by_member.value));
  }
}

TEST(JsonWriter, EnumsUseTheRegistrysNamesWhenItHasOne) {
  Quarn::BindingRegistry registry;
  registry.RegisterType(sizeof(Shade), "Shade", Quarn::StaticTypeOf<Shade>(), /*is_enum=*/true)
      .AddEnumerator("dark", 1)
      .AddEnumerator("light", 2)
      .AddEnumerator("bright", 2);
  BindingProperty value;
  value.Append().SetEnum(2, Quarn::StaticTypeOf<Shade>());
  value.Append().SetEnum(-7, Quarn::StaticTypeOf<Shade>());
  value.Append().SetEnum(1, Quarn::StaticTypeForId(12345));
  EXPECT_EQ(Quarn::ToJson(value, &registry), R"(["bright",-7,1])");
  EXPECT_EQ(Quarn::ToJson(value), "[2,-7,1]");
}

TEST(JsonWriter, PrettyIndentsFourSpacesAndReplacesLineEnds) {
  BindingProperty value;
  value.Member("b").Append().SetUnsigned(1);
  value.Member("b").Append().MakeStructure();
  value.Member("a").SetString("x\ny");
  value.Member("c").MakeCollection();
  const std::string pretty =
      "{\n    \"a\": \"x\\ny\",\n    \"b\": [\n        1,\n        {}\n    ],\n    \"c\": []\n}";
  EXPECT_EQ(Quarn::ToJson(value, nullptr, "\n"), pretty);
  EXPECT_EQ(Streamed(value, true), pretty);
  std::FILE* read_only = std::fopen("/dev/null", "r");
  EXPECT_FALSE(Quarn::WriteJson(value, read_only, true));  // a failed write is reported
  std::fclose(read_only);
  std::string windows = pretty;
  for (size_t at = windows.find('\n'); at != std::string::npos; at = windows.find('\n', at + 2)) {
    windows.replace(at, 1, "\r\n");
  }
  EXPECT_EQ(Quarn::ToJson(value, nullptr, "\r\n"), windows);
  EXPECT_EQ(Quarn::ToJson(value, nullptr, ""), R"({"a":"x\ny","b":[1,{}],"c":[]})");
}

// A build abandoned midway, as on a parse error, leaves nothing behind.
TEST(TreeBuilder, AbandonReleasesEverything) {
  BindingProperty root;
  {
    Quarn::detail::TreeBuilder builder;
    builder.Begin(root);
    builder.BeginCollection();
    builder.BeginStructure();
    builder.Key("k");
    builder.String("v");
    builder.Key("dangling");
  }
  EXPECT_TRUE(root.IsEmpty());
  EXPECT_EQ(root.document()->string_count(), 0u);
}

// A large structure is sorted on name prefixes: names sharing their first
// 8 bytes, names that are prefixes of others and repeated names must still
// come out in byte order, the last of a repeated name winning.
TEST(TreeBuilder, LargeStructuresSortByWholeNameAndKeepTheLastOfARepeat) {
  std::vector<std::string> names;
  for (int i = 0; i < 300; ++i) {
    names.push_back("shared__" + std::to_string(i * 7919 % 300));  // one 8-byte prefix
    if (i % 10 == 0) names.push_back(std::string(static_cast<size_t>(i % 9), 'z'));
    if (i % 25 == 0) names.push_back("\xff" + std::to_string(i));
  }
  BindingProperty root;
  Quarn::detail::TreeBuilder builder;
  builder.Begin(root);
  builder.BeginStructure();
  std::map<std::string, uint64_t> expected;
  for (size_t i = 0; i < names.size(); ++i) {
    builder.Key(names[i]);
    builder.Unsigned(i);
    expected[names[i]] = i;
  }
  builder.EndStructure();
  builder.Finish();
  using Members = std::vector<std::pair<std::string, uint64_t>>;
  Members got;
  for (const Quarn::BindingMember& member : root.Members())
    got.emplace_back(member.name(), member.value().GetUnsigned());
  EXPECT_EQ(got, Members(expected.begin(), expected.end()));
}

// Readers lease scratch per call: callers taking turns share one object,
// callers at once get their own, and the pool keeps no more than kKept.
TEST(ScratchPool, KeepsAsManyAsRanAtOnceNotOnePerThread) {
  using Pool = Quarn::detail::ScratchPool<std::string>;
  Pool pool;
  const std::string* first = nullptr;
  for (int i = 0; i < 8; ++i) {
    std::thread([&] {
      Pool::Lease lease(pool);
      if (first == nullptr) first = &*lease;
      EXPECT_EQ(&*lease, first) << "thread " << i;
    }).join();
  }
  EXPECT_EQ(pool.kept(), 1u);
  {
    std::vector<std::unique_ptr<Pool::Lease>> held;
    std::set<const std::string*> distinct;
    for (int i = 0; i < 8; ++i) {
      held.push_back(std::make_unique<Pool::Lease>(pool));
      distinct.insert(&**held.back());
    }
    EXPECT_EQ(distinct.size(), 8u);
  }
  EXPECT_EQ(pool.kept(), Pool::kKept);
}

}  // namespace
