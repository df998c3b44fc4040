// The three readers and the JSON writer on one table: each row is an input in
// one wire form and either the tree it reads to (as a Dump, which keeps the
// kinds JSON hides) or the exact failure message; MessagePack rows also give
// the bytes consumed, and rows with a JSON column check what the writer
// makes of the tree, in memory and streamed. Then the writer's layout and
// enum names, and the builder and scratch pool behind the readers.
#include <gtest/gtest.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "binding/binding_registry.h"
#include "binding/detail/binding_document.h"
#include "binding/detail/scratch_pool.h"
#include "binding/detail/tree_builder.h"
#include "binding/json_reader.h"
#include "binding/json_writer.h"
#include "binding/msgpack_reader.h"
#include "binding/static_type.h"
#include "binding/yaml_reader.h"

namespace {

using namespace std::string_literals;
using Quarn::BindingProperty;
using Quarn::BindingResult;

enum Format { kJson, kPack, kYaml };
const char* const kFormatName[] = {"JSON", "MessagePack", "YAML"};
constexpr size_t kAll = static_cast<size_t>(-1);  // the whole input is consumed

struct ReadCase {
  Format format;
  std::string input;
  std::string expected;        // Dump of the tree, or the failure message
  size_t consumed = kAll;      // MessagePack only
  const char* json = nullptr;  // what ToJson writes for the tree
};

std::string B(std::initializer_list<uint8_t> bytes) { return std::string(bytes.begin(), bytes.end()); }

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

std::string Printable(const std::string& input) {
  std::string out;
  char hex[8];
  for (unsigned char c : input) {
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    out += c >= 0x20 && c < 0x7F ? std::string(1, static_cast<char>(c)) : std::string(hex);
  }
  return out;
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

const std::vector<ReadCase>& Cases() {
  static const std::vector<ReadCase> cases = {
      // JSON: kinds, numbers and texts.
      {kJson, "", "~", kAll, ""},
      {kJson, " \t\r\n ", "~"},
      {kJson, "null", "~"},
      {kJson, "[1,-1,1.5]", "[u1,s-1,f1.5]"},
      {kJson, "[0,-0,1e2,1E-1,-0.0]", "[u0,s0,f100,f0.1,f-0]", kAll, "[0,0,100.0,0.1,-0.0]"},
      {kJson, "[4294967296,-2147483649]", "[u4294967296,s-2147483649]"},
      {kJson, "18446744073709551615", "u18446744073709551615", kAll, "18446744073709551615"},
      {kJson, "18446744073709551616", "f18446744073709551616"},
      {kJson, "-9223372036854775808", "s-9223372036854775808", kAll, "-9223372036854775808"},
      {kJson, "-9223372036854775809", "f-9223372036854775808"},
      {kJson, "[1.0,0.1,0.0,1e300]", "[f1,f0.1,f0,f1e+300]", kAll, "[1.0,0.1,0.0,1e300]"},
      // Correctly rounded, underflow included.
      {kJson, "[0.30000000000000004,123456789012345.678,2.2250738585072011e-308]",
       "[f0.30000000000000004,f123456789012345.67,f2.225073858507201e-308]"},
      {kJson, "[1e-400,-1e-400,4.9e-324,1.7976931348623157e308]",
       "[f0,f-0,f5e-324,f1.7976931348623157e+308]"},
      {kJson, R"({"b":true,"a":false,"":null})", "{:~,a:false,b:true}", kAll,
       R"({"":null,"a":false,"b":true})"},
      {kJson, R"({"z":1,"a":2,"B":"x"})", R"({B:"x",a:u2,z:u1})", kAll, R"({"B":"x","a":2,"z":1})"},
      {kJson, R"(["x\u00e9\n", "a\u0000b"])", "[\"x\xC3\xA9\n\",\"a\"]", kAll, "[\"x\xC3\xA9\\n\",\"a\"]"},
      // The NUL escape found past other escapes; an escaped backslash before
      // "u0000" is text, not a NUL.
      {kJson, R"(["\\\"\u0041", "\t\u0000\u0041"])", "[\"\\\"A\",\"\t\"]"},
      {kJson, R"(["a\\u0000b", "\\"])", "[\"a\\u0000b\",\"\\\"]"},
      {kJson, R"("q\"b\\n\nt\t\u0001 é")", "\"q\"b\\n\nt\t\x01 \xC3\xA9\"", kAll,
       "\"q\\\"b\\\\n\\nt\\t\\u0001 \xC3\xA9\""},
      // Bytes that are not UTF-8 pass through both ways unchanged.
      {kJson, "[\"\xC3\x28\xFF\"]", "[\"\xC3\x28\xFF\"]", kAll, "[\"\xC3\x28\xFF\"]"},
      {kJson, "{\"a\":1}\0 trailing text after a NUL"s, "{a:u1}"},
      {kJson, "  [ ]  ", "[]"},
      {kJson, R"({"a":[],"o":{}})", "{a:[],o:{}}", kAll, R"({"a":[],"o":{}})"},
      // JSON: a repeated key merges containers of one kind and replaces the rest.
      {kJson, R"({"a":1,"a":2})", "{a:u2}"},
      {kJson, R"({"a":[1],"a":[2]})", "{a:[u1,u2]}"},
      {kJson, R"({"a":{"x":1,"y":1},"a":{"y":2,"z":2}})", "{a:{x:u1,y:u2,z:u2}}"},
      {kJson, R"({"a":{"x":{"p":1}},"a":{"x":{"q":2}}})", "{a:{x:{p:u1,q:u2}}}"},
      {kJson, R"({"a":[1],"a":{"x":1}})", "{a:{x:u1}}"},
      {kJson, R"({"a":{"x":1},"a":[1]})", "{a:[u1]}"},
      {kJson, R"({"a":[1],"a":null})", "{a:~}"},
      {kJson, R"({"a":"s","a":[1]})", "{a:[u1]}"},
      // JSON: RapidJSON's text and offset for each malformed input.
      {kJson, R"({"a":1} x)", "Error: The document root must not be followed by other values. at offset 8."},
      {kJson, "[1] // comment",
       "Error: The document root must not be followed by other values. at offset 4."},
      {kJson, "[1,]", "Error: Invalid value. at offset 3."},
      {kJson, "]", "Error: Invalid value. at offset 0."},
      {kJson, "  ,", "Error: Invalid value. at offset 2."},
      {kJson, "nul", "Error: Invalid value. at offset 3."},
      {kJson, R"({"a":})", "Error: Invalid value. at offset 5."},
      {kJson, "-", "Error: Invalid value. at offset 1."},
      {kJson, "NaN", "Error: Invalid value. at offset 0."},
      {kJson, "[1 2]", "Error: Missing a comma or ']' after an array element. at offset 3."},
      {kJson, "[1", "Error: Missing a comma or ']' after an array element. at offset 2."},
      {kJson, "{", "Error: Missing a name for object member. at offset 1."},
      {kJson, R"({"a":1,})", "Error: Missing a name for object member. at offset 7."},
      {kJson, "{1:1}", "Error: Missing a name for object member. at offset 1."},
      {kJson, R"({"a" 1})", "Error: Missing a colon after a name of object member. at offset 5."},
      {kJson, R"({"a":1 "b":2})", "Error: Missing a comma or '}' after an object member. at offset 7."},
      {kJson, R"(["\u12G4"])", "Error: Incorrect hex digit after \\u escape in string. at offset 2."},
      {kJson, R"(["\uD800\u0041"])", "Error: The surrogate pair in string is invalid. at offset 2."},
      {kJson, R"(["\x"])", "Error: Invalid escape character in string. at offset 2."},
      {kJson, R"(["abc)", "Error: Missing a closing quotation mark in string. at offset 5."},
      {kJson, "1e400", "Error: Number too big to be stored in double. at offset 0."},
      {kJson, "[1.]", "Error: Miss fraction part in number. at offset 3."},
      {kJson, "1e", "Error: Miss exponent in number. at offset 2."},

      // MessagePack: each format to its kind.
      {kPack, B({}), "~", 0},
      {kPack, B({0x05}), "s5"},
      {kPack, B({0x7F}), "s127"},
      {kPack, B({0xCC, 0x05}), "u5"},
      {kPack, B({0xFF}), "s-1"},
      {kPack, B({0xE0}), "s-32"},
      {kPack, B({0xC0}), "~"},
      {kPack, B({0x92, 0xC2, 0xC3}), "[false,true]", kAll, "[false,true]"},
      {kPack, B({0xCA, 0x3F, 0xC0, 0x00, 0x00}), "f1.5"},
      {kPack, B({0xCB, 0xBF, 0xF8, 0, 0, 0, 0, 0, 0}), "f-1.5"},
      // Floats without a JSON form are written as null.
      {kPack, B({0x93, 0xCB, 0x7F, 0xF8, 0, 0, 0, 0,    0,    0,    0xCB, 0x7F,
                 0xF0, 0,    0,    0,    0, 0, 0, 0xCA, 0xFF, 0x80, 0,    0}),
       "[fnan,finf,f-inf]", kAll, "[null,null,null]"},
      {kPack, B({0xCD, 0x01, 0x02}), "u258"},
      {kPack, B({0xCE, 0xFF, 0xFF, 0xFF, 0xFF}), "u4294967295"},
      {kPack, B({0xCF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), "u18446744073709551615"},
      {kPack, B({0xD0, 0x80}), "s-128"},
      {kPack, B({0xD1, 0xFF, 0xFE}), "s-2"},
      {kPack, B({0xD2, 0x80, 0, 0, 0}), "s-2147483648"},
      {kPack, B({0xD3, 0x80, 0, 0, 0, 0, 0, 0, 0}), "s-9223372036854775808"},
      {kPack, B({0xA3, 'a', 'b', 'c'}), "\"abc\""},
      {kPack, B({0xD9, 0x02, 'h', 'i'}), "\"hi\""},
      {kPack, B({0xDA, 0x00, 0x01, 'x'}), "\"x\""},
      {kPack, B({0xDB, 0, 0, 0, 0x01, 'y'}), "\"y\""},
      {kPack, B({0xA3, 'a', 0, 'c'}), "\"a\""},
      {kPack, B({0xA2, 0xC3, 0x28}), "\"\xC3(\"", kAll, "\"\xC3(\""},
      // Blobs are written in Base64, padded.
      {kPack, B({0xC4, 0x03, 'a', 'b', 'c'}), "b'abc'", kAll, R"("YWJj")"},
      {kPack, B({0xC4, 0x02, 'a', 'b'}), "b'ab'", kAll, R"("YWI=")"},
      {kPack, B({0xC6, 0, 0, 0, 1, 'a'}), "b'a'", kAll, R"("YQ==")"},
      {kPack, B({0xC4, 0x03, 0xFB, 0xFF, 0xBF}), "b'\xFB\xFF\xBF'", kAll, R"("+/+/")"},
      {kPack, B({0xC5, 0x00, 0x00}), "b''", kAll, R"("")"},
      {kPack, B({0x81, 0xA1, 'a', 0xC3}), "{a:true}"},
      {kPack, B({0x92, 0x01, 0x90}), "[s1,[]]"},
      {kPack, B({0xDC, 0x00, 0x01, 0x80}), "[{}]"},
      {kPack, B({0xDD, 0, 0, 0, 1, 0x07}), "[s7]"},
      {kPack, B({0xDE, 0x00, 0x01, 0xA1, 'k', 0x01}), "{k:s1}"},
      {kPack, B({0xDF, 0, 0, 0, 1, 0xA1, 'k', 0xC0}), "{k:~}", kAll, R"({"k":null})"},
      {kPack, B({0x82, 0xA1, 'b', 0x01, 0xA1, 'a', 0x02}), "{a:s2,b:s1}"},
      {kPack, B({0x81, 0xA2, 'a', 0, 0x01}), "{a:s1}"},
      // Data ending inside a container keeps what was read.
      {kPack, B({0x92, 0x01}), "[s1]"},
      {kPack, B({0x82, 0xA1, 'a', 0x01, 0xA1, 'b'}), "{a:s1}"},
      {kPack, B({0xDD, 0xFF, 0xFF, 0xFF, 0xFF}), "[]"},
      // Bytes after the root value are left unread.
      {kPack, B({0x01, 0x02}), "s1", 1},
      {kPack, B({0x91, 0x01, 0xC1}), "[s1]", 2},
      // MessagePack: a repeated key replaces, merges containers of one kind
      // (arrays by index, maps by name), and nil keeps the earlier value.
      {kPack, B({0x82, 0xA1, 'a', 0x01, 0xA1, 'a', 0x02}), "{a:s2}"},
      {kPack, B({0x82, 0xA1, 'a', 0x01, 0xA1, 'a', 0xC0}), "{a:s1}"},
      {kPack, B({0x82, 0xA1, 'a', 0x92, 0x01, 0x02, 0xA1, 'a', 0x91, 0x03}), "{a:[s3,s2]}"},
      {kPack, B({0x82, 0xA1, 'a', 0x81, 0xA1, 'x', 0x01, 0xA1, 'a', 0x81, 0xA1, 'y', 0x02}),
       "{a:{x:s1,y:s2}}"},
      {kPack, B({0x82, 0xA1, 'a', 0x91, 0x01, 0xA1, 'a', 0x80}), "{a:{}}"},
      {kPack, B({0x82, 0xA1, 'a', 0x91, 0x01, 0xA1, 'a', 0x05}), "{a:s5}"},
      {kPack, B({0x82, 0xA1, 'a', 0x91, 0x01, 0xA1, 'a', 0x90, 0x07}), "{a:[s1]}", 8},
      // MessagePack: every malformed input with its position.
      {kPack, B({0xC1}), "Invalid MessagePack data at position 1.", 1},
      {kPack, B({0x91, 0xC7, 0x01, 0x01, 0x00}), "Invalid MessagePack data at position 2.", 2},
      {kPack, B({0xD4, 0x01, 0x00}), "Invalid MessagePack data at position 1.", 1},
      {kPack, B({0xD8}), "Invalid MessagePack data at position 1.", 1},
      {kPack, B({0x81, 0x01, 0x02}), "Invalid MessagePack data at position 2. Map keys must be strings.", 2},
      {kPack, B({0x81, 0xC4, 0x01, 'a', 0x02}),
       "Invalid MessagePack data at position 2. Map keys must be strings.", 2},
      {kPack, B({0xA3, 0x61, 0x62}), "Invalid MessagePack data. String of size 3 at position 1 is truncated.",
       1},
      {kPack, B({0x81, 0xA5, 'a'}), "Invalid MessagePack data. String of size 5 at position 2 is truncated.",
       2},
      {kPack, B({0xDB, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}),
       "Invalid MessagePack data. String of size 4294967295 at position 5 is truncated.", 5},
      {kPack, B({0xC4, 0x02, 0x00}),
       "Invalid MessagePack data. Raw bytes of size 2 at position 2 are truncated.", 2},
      {kPack, B({0xCC}), "Invalid MessagePack data. 8-bit integer value at position 1 is truncated.", 1},
      {kPack, B({0xD9}), "Invalid MessagePack data. 8-bit integer value at position 1 is truncated.", 1},
      {kPack, B({0xCD, 0x01}), "Invalid MessagePack data. 16-bit integer value at position 1 is truncated.",
       1},
      {kPack, B({0xDE, 0x00}), "Invalid MessagePack data. 16-bit integer value at position 1 is truncated.",
       1},
      {kPack, B({0xCA, 0x3F, 0xC0}),
       "Invalid MessagePack data. 32-bit integer value at position 1 is truncated.", 1},
      {kPack, B({0xC6, 0, 0, 0}),
       "Invalid MessagePack data. 32-bit integer value at position 1 is truncated.", 1},
      {kPack, B({0xCB, 0, 0, 0, 0, 0, 0, 0}),
       "Invalid MessagePack data. 64-bit integer value at position 1 is truncated.", 1},
      {kPack, B({0x92, 0x01, 0xD3, 0x00}),
       "Invalid MessagePack data. 64-bit integer value at position 3 is truncated.", 3},

      // YAML: plain scalars by the word lists and numbers.
      {kYaml, "", "~"},
      {kYaml, "# only a comment\n", "~"},
      {kYaml, "a: 1", "{a:u1}"},
      {kYaml, "a: -1", "{a:s-1}"},
      {kYaml, "a: 1.5", "{a:f1.5}"},
      {kYaml, "a: 1e3", "{a:u1000}"},
      {kYaml, "a: 0x1F", "{a:u31}"},
      {kYaml, "a: -0", "{a:u0}"},
      {kYaml, "a: -0.0", "{a:u0}"},
      {kYaml, "a: -2.0", "{a:s-2}"},
      {kYaml, "a: +7", "{a:u7}"},
      {kYaml, "a: .5", "{a:f0.5}"},
      {kYaml, "a: 18446744073709551615", "{a:u18446744073709551615}"},
      {kYaml, "a: -9223372036854775808", "{a:s-9223372036854775808}"},
      // Integers beyond the 64-bit ranges keep their magnitude as Floats.
      {kYaml, "a: 18446744073709551616", "{a:f18446744073709551616}"},
      {kYaml, "a: -18446744073709551615", "{a:f-18446744073709551616}"},
      {kYaml, "a: -9223372036854775809", "{a:f-9223372036854775808}"},
      {kYaml, "a: -1e30", "{a:f-1e+30}"},
      // Integer text is read exactly, not through a double.
      {kYaml, "a: 9007199254740993", "{a:u9007199254740993}"},
      {kYaml, "[yes, Off, 'yes', ~, .inf, null, NULL, y, \"1\", inf, 1_000]",
       "[true,false,\"yes\",~,\".inf\",~,~,true,\"1\",\"inf\",\"1_000\"]"},
      {kYaml, "a:\nb: ''", "{a:~,b:\"\"}"},
      {kYaml, "1: x", "{1:\"x\"}"},
      {kYaml, "a: |\n  12\n", "{a:\"12\n\"}"},
      {kYaml, "'': 1\nb: 2", "{:u1,b:u2}"},
      {kYaml, "a: \"x\\0y\"", "{a:\"x\"}"},
      // libyaml's reader errors carry an offset, not a mark, so no position.
      {kYaml, "a: \xC3\x28", "YAML parser error: invalid trailing UTF-8 octet. At line: 0 col: 0"},
      {kYaml, "a: x\0y"s, "YAML parser error: control characters are not allowed. At line: 0 col: 0"},
      {kYaml, "name: ward\nids: [3, -4, 2.5]\nowned: {rental: {end: 0, active: no}, yes: true}\n",
       "{ids:[u3,s-4,f2.5],name:\"ward\",owned:{rental:{active:false,end:u0},yes:true}}", kAll,
       R"({"ids":[3,-4,2.5],"name":"ward","owned":{"rental":{"active":false,"end":0},"yes":true}})"},
      // YAML: the four tags.
      {kYaml, "!!str 12", "\"12\""},
      {kYaml, "!!int 12", "u12"},
      {kYaml, "!!int -12", "s-12"},
      {kYaml, "!!int 0x10", "u16"},
      {kYaml, "!!float 1", "f1"},
      {kYaml, "!!float -2.5", "f-2.5"},
      {kYaml, "[!!bool yes, !!bool OFF]", "[true,false]"},
      {kYaml, "!!str : 1", "{:u1}"},
      // YAML: aliases copy, repeated keys merge.
      {kYaml, "a: &x [1, 2]\nb: *x", "{a:[u1,u2],b:[u1,u2]}"},
      {kYaml, "a: &v hello\nb: *v", "{a:\"hello\",b:\"hello\"}"},
      {kYaml, "&k key: 1\nother: *k", "{key:u1,other:\"key\"}"},
      {kYaml, "- &m {p: 1}\n- *m\n- [*m]", "[{p:u1},{p:u1},[{p:u1}]]"},
      {kYaml, "a: &n name\n*n : 2", "{a:\"name\",name:u2}"},
      {kYaml, "a: 1\na: 2", "{a:u2}"},
      {kYaml, "a: [1]\na: [2]", "{a:[u1,u2]}"},
      {kYaml, "a: {x: 1, y: 1}\na: {y: 2, z: 2}", "{a:{x:u1,y:u2,z:u2}}"},
      {kYaml, "a: &x 1\na: *x", "{a:u1}"},
      {kYaml, "---\n~\n---\na: 1", "{a:u1}"},
      // YAML: failures with line and column.
      {kYaml, "a: !!int 12x", "Value 12x for 'yaml' of type uint64_t is in an incorrect format"},
      {kYaml, "a: !!int -1x", "Value -1x for 'yaml' of type int64_t is in an incorrect format"},
      {kYaml, "a: !!float 1e400", "Value 1e400 for 'yaml' of type double is out of range"},
      {kYaml, "a: !foo x", "Unsupported YAML tag '!foo'."},
      {kYaml, "a: !!bool maybe", "Value maybe for 'yaml' of type bool is in an incorrect format"},
      {kYaml, "a: &x [1, *x]", "Cannot deserialize cyclic aliases. Alias \"x\". At line: 1 col: 11"},
      {kYaml, "b: *y", "Undefined alias encountered: \"y\". At line: 1 col: 4"},
      {kYaml, "a: 1\n---\nb: 2", "Multi-document YAML is not supported."},
      {kYaml, "? [a]\n: 1", "Unexpected start of sequence. At line: 1 col: 3"},
      {kYaml, "x: 0\n? {a: 1}\n: 1", "Unexpected start of mapping. At line: 2 col: 3"},
      {kYaml, "!!int 1: x", "Invalid mapping key. Only string scalar keys are allowed. At line: 1 col: 1"},
      {kYaml, "a: &n 5\n*n : 2",
       "Invalid mapping key. Only string scalar keys are allowed. At line: 2 col: 1"},
      {kYaml, "a: &x 1\nb: &x 2", "Duplicate occurrence of anchor \"x\". At line: 2 col: 4"},
      // A repeated key reopens the anchored mapping: copying it into itself
      // would never end.
      {kYaml, "a: &x {b: 1}\na: {c: *x}",
       "Cannot deserialize cyclic aliases. Alias \"x\". At line: 2 col: 8"},
      {kYaml, "a: [1", "YAML parser error: did not find expected ',' or ']'. At line: 1 col: 0"},
      {kYaml, "a: b: c",
       "YAML parser error: mapping values are not allowed in this context. At line: 0 col: 4"},
  };
  return cases;
}

TEST(Readers, ReadEachInputToItsTreeOrItsExactFailure) {
  for (const ReadCase& c : Cases()) {
    const std::string what = std::string(kFormatName[c.format]) + " " + Printable(c.input);
    size_t consumed;
    const BindingResult result = Read(c, consumed);
    EXPECT_EQ(result.ok() ? Dump(result.value) : std::string(result.ErrorMessage()), c.expected) << what;
    if (c.format == kPack) {
      EXPECT_EQ(consumed, c.consumed == kAll ? c.input.size() : c.consumed) << what;
    }
    if (c.format == kJson && !result.ok()) {
      EXPECT_EQ(DefaultModeMessage(c.input), c.expected) << what;
    }
    if (c.json != nullptr) {
      EXPECT_EQ(Quarn::ToJson(result.value), c.json) << what;
      EXPECT_EQ(Streamed(result.value), c.json) << what;
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
    EXPECT_EQ(Quarn::ToJson(second.value), once) << c.input;
  }
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
      "a: 1\nb: {x: [1, 2]}\na: 3\n",                    // repeated scalar: the later wins
      "m: {x: 1, y: [1]}\nm: {y: [2], z: ~}\nk: 1\n",     // mappings merge, sequences append
      "s: {x: 1}\ns: ~\nt: [1]\nt: {u: 1}\n",              // a later null or other kind replaces
      "- 1\n- {b: 1, a: 2, b: 3}\n- [z, y]\n",             // members sorted, duplicates inside a list
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
  for (const Quarn::BindingMember& member : root.Members()) got.emplace_back(member.name(), member.value().GetUnsigned());
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
