#include "binding/msgpack_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "binding/json_writer.h"
#include "binding/value_dump.h"

namespace {

using kiv_test::Dump;
using Quarn::ReadMsgPack;

using Bytes = std::vector<uint8_t>;

std::string Hex(const Bytes& bytes) {
  std::string out;
  char buffer[4];
  for (uint8_t b : bytes) {
    std::snprintf(buffer, sizeof(buffer), "%02X ", b);
    out += buffer;
  }
  return out;
}

struct GoodPack {
  Bytes bytes;
  const char* dump;
  size_t consumed;
};

TEST(MsgPackReader, MapsEachFormatToItsKind) {
  const GoodPack cases[] = {
      {{}, "~", 0},
      {{0x05}, "s5", 1},
      {{0x7F}, "s127", 1},
      {{0xCC, 0x05}, "u5", 2},
      {{0xFF}, "s-1", 1},
      {{0xE0}, "s-32", 1},
      {{0xC0}, "~", 1},
      {{0xC2}, "false", 1},
      {{0xC3}, "true", 1},
      {{0xCA, 0x3F, 0xC0, 0x00, 0x00}, "f1.5", 5},
      {{0xCB, 0xBF, 0xF8, 0, 0, 0, 0, 0, 0}, "f-1.5", 9},
      {{0xCD, 0x01, 0x02}, "u258", 3},
      {{0xCE, 0xFF, 0xFF, 0xFF, 0xFF}, "u4294967295", 5},
      {{0xCF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "u18446744073709551615", 9},
      {{0xD0, 0x80}, "s-128", 2},
      {{0xD1, 0xFF, 0xFE}, "s-2", 3},
      {{0xD2, 0x80, 0, 0, 0}, "s-2147483648", 5},
      {{0xD3, 0x80, 0, 0, 0, 0, 0, 0, 0}, "s-9223372036854775808", 9},
      {{0xA3, 'a', 'b', 'c'}, "\"abc\"", 4},
      {{0xD9, 0x02, 'h', 'i'}, "\"hi\"", 4},
      {{0xDA, 0x00, 0x01, 'x'}, "\"x\"", 4},
      {{0xDB, 0, 0, 0, 0x01, 'y'}, "\"y\"", 6},
      {{0xA3, 'a', 0, 'c'}, "\"a\"", 4},
      {{0xC4, 0x02, 'o', 'k'}, "b'ok'", 4},
      {{0xC5, 0x00, 0x00}, "b''", 3},
      {{0xC6, 0, 0, 0, 1, 'z'}, "b'z'", 6},
      {{0x81, 0xA1, 'a', 0xC3}, "{a:true}", 4},
      {{0x92, 0x01, 0x90}, "[s1,[]]", 3},
      {{0xDC, 0x00, 0x01, 0x80}, "[{}]", 4},
      {{0xDD, 0, 0, 0, 1, 0x07}, "[s7]", 6},
      {{0xDE, 0x00, 0x01, 0xA1, 'k', 0x01}, "{k:s1}", 6},
      {{0xDF, 0, 0, 0, 1, 0xA1, 'k', 0xC0}, "{k:~}", 8},
      {{0x82, 0xA1, 'b', 0x01, 0xA1, 'a', 0x02}, "{a:s2,b:s1}", 7},
      {{0x81, 0xA2, 'a', 0, 0x01}, "{a:s1}", 5},
      // Data ending inside a container keeps what was read.
      {{0x92, 0x01}, "[s1]", 2},
      {{0x82, 0xA1, 'a', 0x01, 0xA1, 'b'}, "{a:s1}", 6},
      {{0xDD, 0xFF, 0xFF, 0xFF, 0xFF}, "[]", 5},
      // Bytes after the root value are left unread.
      {{0x01, 0x02}, "s1", 1},
      {{0x91, 0x01, 0xC1}, "[s1]", 2},
  };
  for (const auto& c : cases) {
    const auto read = ReadMsgPack(c.bytes.data(), c.bytes.size());
    ASSERT_TRUE(read.result.ok()) << Hex(c.bytes) << read.result.ErrorMessage();
    EXPECT_EQ(Dump(read.result.value), c.dump) << Hex(c.bytes);
    EXPECT_EQ(read.consumed, c.consumed) << Hex(c.bytes);
  }
}

TEST(MsgPackReader, RepeatedKeysReplaceOrMergeAndNilKeeps) {
  const GoodPack cases[] = {
      {{0x82, 0xA1, 'a', 0x01, 0xA1, 'a', 0x02}, "{a:s2}", 7},
      {{0x82, 0xA1, 'a', 0x01, 0xA1, 'a', 0xC0}, "{a:s1}", 7},
      // Arrays merge by index, maps by name.
      {{0x82, 0xA1, 'a', 0x92, 0x01, 0x02, 0xA1, 'a', 0x91, 0x03}, "{a:[s3,s2]}", 10},
      {{0x82, 0xA1, 'a', 0x81, 0xA1, 'x', 0x01, 0xA1, 'a', 0x81, 0xA1, 'y', 0x02}, "{a:{x:s1,y:s2}}", 13},
      // A different kind replaces; a scalar over a container too.
      {{0x82, 0xA1, 'a', 0x91, 0x01, 0xA1, 'a', 0x80}, "{a:{}}", 8},
      {{0x82, 0xA1, 'a', 0x91, 0x01, 0xA1, 'a', 0x05}, "{a:s5}", 8},
      // An empty container over an existing one keeps it.
      {{0x82, 0xA1, 'a', 0x91, 0x01, 0xA1, 'a', 0x90, 0x07}, "{a:[s1]}", 8},
  };
  for (const auto& c : cases) {
    const auto read = ReadMsgPack(c.bytes.data(), c.bytes.size());
    ASSERT_TRUE(read.result.ok()) << Hex(c.bytes) << read.result.ErrorMessage();
    EXPECT_EQ(Dump(read.result.value), c.dump) << Hex(c.bytes);
    EXPECT_EQ(read.consumed, c.consumed) << Hex(c.bytes);
  }
}

struct BadPack {
  Bytes bytes;
  const char* message;
  size_t consumed;
};

TEST(MsgPackReader, ReportsEveryMalformedInputWithItsPosition) {
  const BadPack cases[] = {
      {{0xC1}, "Invalid MessagePack data at position 1.", 1},
      {{0x91, 0xC7, 0x01, 0x01, 0x00}, "Invalid MessagePack data at position 2.", 2},
      {{0xD4, 0x01, 0x00}, "Invalid MessagePack data at position 1.", 1},
      {{0xD8}, "Invalid MessagePack data at position 1.", 1},
      {{0x81, 0x01, 0x02}, "Invalid MessagePack data at position 2. Map keys must be strings.", 2},
      {{0x81, 0xC4, 0x01, 'a', 0x02}, "Invalid MessagePack data at position 2. Map keys must be strings.", 2},
      {{0xA3, 0x61, 0x62}, "Invalid MessagePack data. String of size 3 at position 1 is truncated.", 1},
      {{0x81, 0xA5, 'a'}, "Invalid MessagePack data. String of size 5 at position 2 is truncated.", 2},
      {{0xDB, 0xFF, 0xFF, 0xFF, 0xFF, 'a'},
       "Invalid MessagePack data. String of size 4294967295 at position 5 is truncated.",
       5},
      {{0xC4, 0x02, 0x00}, "Invalid MessagePack data. Raw bytes of size 2 at position 2 are truncated.", 2},
      {{0xCC}, "Invalid MessagePack data. 8-bit integer value at position 1 is truncated.", 1},
      {{0xD9}, "Invalid MessagePack data. 8-bit integer value at position 1 is truncated.", 1},
      {{0xCD, 0x01}, "Invalid MessagePack data. 16-bit integer value at position 1 is truncated.", 1},
      {{0xDE, 0x00}, "Invalid MessagePack data. 16-bit integer value at position 1 is truncated.", 1},
      {{0xCA, 0x3F, 0xC0}, "Invalid MessagePack data. 32-bit integer value at position 1 is truncated.", 1},
      {{0xC6, 0, 0, 0}, "Invalid MessagePack data. 32-bit integer value at position 1 is truncated.", 1},
      {{0xCB, 0, 0, 0, 0, 0, 0, 0},
       "Invalid MessagePack data. 64-bit integer value at position 1 is truncated.",
       1},
      {{0x92, 0x01, 0xD3, 0x00},
       "Invalid MessagePack data. 64-bit integer value at position 3 is truncated.",
       3},
  };
  for (const auto& c : cases) {
    const auto read = ReadMsgPack(c.bytes.data(), c.bytes.size());
    EXPECT_FALSE(read.result.ok()) << Hex(c.bytes);
    EXPECT_EQ(read.result.ErrorMessage(), c.message) << Hex(c.bytes);
    EXPECT_EQ(read.consumed, c.consumed) << Hex(c.bytes);
  }
}

TEST(MsgPackReader, DeepNestingNeitherRecursesNorOverflows) {
  constexpr size_t kDepth = 1000000;
  Bytes arrays(kDepth, 0x91);
  arrays.push_back(0x01);
  const auto read = ReadMsgPack(arrays.data(), arrays.size());
  ASSERT_TRUE(read.result.ok()) << read.result.ErrorMessage();
  EXPECT_EQ(read.consumed, arrays.size());
  EXPECT_EQ(Quarn::ToJson(read.result.value), std::string(kDepth, '[') + "1" + std::string(kDepth, ']'));

  Bytes maps;
  for (size_t i = 0; i < kDepth; ++i) maps.insert(maps.end(), {0x81, 0xA1, 'k'});
  maps.push_back(0xC3);
  const auto nested = ReadMsgPack(maps.data(), maps.size());
  ASSERT_TRUE(nested.result.ok()) << nested.result.ErrorMessage();
  EXPECT_EQ(nested.consumed, maps.size());
}

}  // namespace
