// The JSON reader's fast path against RapidJSON reading the same text in
// full: whatever the fast path takes must read to the same tree (kinds and
// payloads), and FromJson must answer exactly as the full reader, for tricky
// texts and for generated documents with one byte broken.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "binding/detail/json_full_reader.h"
#include "binding/detail/plain_json.h"
#include "binding/json_reader.h"

namespace {

using namespace std::string_literals;
using Quarn::BindingProperty;
using Kind = Quarn::BindingPropertyKind;

bool SameTree(const BindingProperty& a, const BindingProperty& b) {
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case Kind::Empty: return true;
    case Kind::Bool: return a.GetBool() == b.GetBool();
    case Kind::Signed: return a.GetSigned() == b.GetSigned();
    case Kind::Unsigned: return a.GetUnsigned() == b.GetUnsigned();
    case Kind::Float: {
      const double x = a.GetDouble(), y = b.GetDouble();
      return std::memcmp(&x, &y, sizeof x) == 0;
    }
    case Kind::String: return a.GetString() == b.GetString();
    case Kind::Collection: {
      if (a.size() != b.size()) return false;
      for (size_t i = 0; i < a.size(); ++i) {
        if (!SameTree(a.Element(i), b.Element(i))) return false;
      }
      return true;
    }
    case Kind::Structure: {
      const auto left = a.Members();
      const auto right = b.Members();
      if (left.size() != right.size()) return false;
      for (size_t i = 0; i < left.size(); ++i) {
        if (left[i].name() != right[i].name() || !SameTree(left[i].value(), right[i].value())) return false;
      }
      return true;
    }
    default: return false;
  }
}

// Returns whether the fast path took `text`.
bool ExpectPathsAgree(const std::string& text) {
  const Quarn::BindingResult full = Quarn::detail::ReadJsonInFull(text);
  const Quarn::BindingResult ours = Quarn::FromJson(text);
  EXPECT_EQ(ours.ErrorMessage(), full.ErrorMessage()) << text;
  EXPECT_TRUE(SameTree(ours.value, full.value)) << text;
  BindingProperty plain;
  const bool taken = Quarn::detail::ReadPlainJson(text, plain);
  if (taken) {
    EXPECT_TRUE(full.ok()) << "the fast path took what the full reader refuses: " << text;
    EXPECT_TRUE(SameTree(plain, full.value)) << text;
  } else {
    EXPECT_TRUE(plain.IsEmpty()) << text;
  }
  return taken;
}

TEST(PlainJson, TrickyTextsReadAsTheFullReaderReadsThem) {
  const std::string deep64 = std::string(64, '[') + std::string(64, ']');
  const std::string deep65 = std::string(65, '[') + std::string(65, ']');
  const std::vector<std::string> taken = {
      "0", "-0", "7", "-7", "9223372036854775807", "-9223372036854775808", "9999999999999999999",
      "0.30000000000000004", "123456789012345.678", "1e308", "-1.5E+2", "2.5e-3", "1e-320", "[0.1,-0.0,1E0]",
      R"("")", R"("a\"b\\c\/d\b\f\n\r\t")", R"("\u00e9\u20AC\ud83d\ude00")", "\"\xff\xfe raw bytes\"",
      R"(  { "a" : [ 1 , { } , [ ] , true , false , null ] }  )", R"({"a":1,"a":2})",
      R"({"a":{"x":1},"a":{"y":2},"b":[1],"b":[2]})", R"([{"id":1,"n":"x"},{"id":2,"n":"y"},{"n":"z","id":3}])",
      "\"a long text with an escape after the first sixteen bytes \\n and more\"", deep64};
  for (const std::string& text : taken) EXPECT_TRUE(ExpectPathsAgree(text)) << "not taken: " << text;

  const std::vector<std::string> others = {
      "", "  ", "18446744073709551615", "18446744073709551616", "-9223372036854775809",
      "123456789012345678901234567890", "1e309", "0e309", "0.0e310", "1.7976931348623157e308", "2e-400", "1e0005", "1e-0005",
      "01", "-01", "1.", ".5", "-", "+1", "1e", "1e+", "1.e3", "0x10", "NaN", "Infinity", "-Infinity",
      R"("\u0000x")", R"("a\u0000")", R"("\ud83d")", R"("\udc00")", R"("\ud83d\u0041")", R"("\x")", R"("\u12")",
      "\"tab\there\"", "\"open", "\"", "[1,]", R"({"a":1,})", "[1 2]", R"({"a" 1})", "{1:2}", R"({"a":})", "[1]x",
      "[1] [2]", "[1]\0garbage"s, "\0[1]"s, "[\0]"s, "tru", "nul", "falsey", "[", "]", "}", ",", "{", deep65,
      R"({"a":[1,{"b":)" + deep65 + "}]}"};
  for (const std::string& text : others) ExpectPathsAgree(text);
}

// Random documents in the forms the fast path takes, each also with one
// byte deleted, replaced or doubled.
class Documents {
 public:
  std::string Next() {
    std::string out;
    Value(out, 0);
    return out;
  }
  std::mt19937_64& random() { return random_; }

 private:
  size_t Below(size_t n) { return static_cast<size_t>(random_() % n); }
  void Space(std::string& out) {
    static const char* const kSpaces[] = {"", "", "", " ", "\n  ", "\t", "\r\n"};
    out += kSpaces[Below(std::size(kSpaces))];
  }
  void Text(std::string& out) {
    static const char* const kPieces[] = {"a", "id", "name", "\\n", "\\\"", "\\u00e9", "\\ud83d\\ude00", "\\/",
                                          "\xc3\xa9", "0123456789abcdef", "\\u0000", " "};
    out += '"';
    for (size_t n = Below(5); n > 0; --n) out += kPieces[Below(std::size(kPieces))];
    out += '"';
  }
  void Number(std::string& out) {
    static const char* const kNumbers[] = {"0", "-0", "42", "-17", "3.25", "-0.5e-3", "1E10", "6.02e+23",
                                           "18446744073709551615", "9223372036854775808", "-9223372036854775808",
                                           "0.1", "1e-400", "4.9e-324", "1.7976931348623157e308"};
    out += kNumbers[Below(std::size(kNumbers))];
  }
  void Value(std::string& out, int depth) {
    const size_t pick = depth > 4 ? Below(5) : Below(8);
    if (pick == 0) return Number(out);
    if (pick == 1) return Text(out);
    if (pick == 2) {
      static const char* const kWords[] = {"true", "false", "null"};
      out += kWords[Below(3)];
      return;
    }
    if (pick <= 4) return Number(out);
    const bool object = pick >= 6;
    out += object ? '{' : '[';
    for (size_t n = Below(5), i = 0; i < n; ++i) {
      if (i > 0) out += ',';
      Space(out);
      if (object) {
        static const char* const kKeys[] = {"\"a\"", "\"b\"", "\"id\"", "\"\"", "\"\\u0061\""};
        out += kKeys[Below(std::size(kKeys))];
        Space(out);
        out += ':';
        Space(out);
      }
      Value(out, depth + 1);
      Space(out);
    }
    out += object ? '}' : ']';
  }

  std::mt19937_64 random_{20261208};
};

TEST(PlainJson, GeneratedDocumentsAndTheirBrokenCopiesReadAsTheFullReaderReadsThem) {
  Documents documents;
  size_t taken = 0;
  constexpr int kDocuments = 1500;
  for (int i = 0; i < kDocuments; ++i) {
    const std::string text = documents.Next();
    taken += ExpectPathsAgree(text) ? 1 : 0;
    std::string broken = text;
    const size_t at = documents.random()() % broken.size();
    switch (documents.random()() % 3) {
      case 0: broken.erase(at, 1); break;
      case 1: broken[at] = "\"\\,:[]{}0-.e \x01"[documents.random()() % 15]; break;
      default: broken.insert(at, 1, broken[at]); break;
    }
    ExpectPathsAgree(broken);
    if (HasFailure()) break;
  }
  // The forms the generator makes are mostly the fast path's own.
  EXPECT_GT(taken, size_t{kDocuments / 2});
}

}  // namespace
