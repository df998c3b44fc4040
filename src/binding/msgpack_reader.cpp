#include "binding/msgpack_reader.h"

#include "binding/message_format.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

using Quarn::BindingProperty;

constexpr std::string_view kInvalidAt = "Invalid MessagePack data at position %1.";
constexpr std::string_view kKeyNotString =
    "Invalid MessagePack data at position %1. Map keys must be strings.";
constexpr std::string_view kTruncated8 =
    "Invalid MessagePack data. 8-bit integer value at position %1 is truncated.";
constexpr std::string_view kTruncated16 =
    "Invalid MessagePack data. 16-bit integer value at position %1 is truncated.";
constexpr std::string_view kTruncated32 =
    "Invalid MessagePack data. 32-bit integer value at position %1 is truncated.";
constexpr std::string_view kTruncated64 =
    "Invalid MessagePack data. 64-bit integer value at position %1 is truncated.";
constexpr std::string_view kStringTruncated =
    "Invalid MessagePack data. String of size %1 at position %2 is truncated.";
constexpr std::string_view kBytesTruncated =
    "Invalid MessagePack data. Raw bytes of size %1 at position %2 are truncated.";

class Reader {
 public:
  Reader(const uint8_t* data, size_t size, Quarn::BindingResult& result)
      : data_(data), size_(size), result_(result) {
    open_.reserve(16);
  }

  // Reads until the root value is complete, the data ends, or a failure.
  void Run() {
    bool started = false;
    while (pos_ < size_) {
      BindingProperty* target = nullptr;
      bool want_key = false;
      // Choose what the next type byte fills: the root, the next element
      // or member value of the innermost open container, or a map key.
      while (target == nullptr && !want_key) {
        if (open_.empty()) {
          if (started) return;
          started = true;
          target = &result_.value;
          break;
        }
        Container& top = open_.back();
        if (top.index == top.expected) {
          open_.pop_back();
          continue;
        }
        const uint64_t index = top.index++;
        if (!top.is_map) {
          target = &top.node->Element(static_cast<size_t>(index));
        } else if (index % 2 == 0) {
          want_key = true;
        } else {
          target = &top.node->Member(key_);
        }
      }
      const uint8_t type = data_[pos_++];
      const bool ok = want_key ? ReadKey(type) : ReadValue(type, *target);
      if (!ok) return;
    }
  }

  size_t position() const { return pos_; }

 private:
  struct Container {
    BindingProperty* node;  // its cell does not move while it is open
    uint64_t expected;      // elements, or twice the map's entries
    uint64_t index;         // next element, or key (even) / value (odd)
    bool is_map;
  };

  template <class... Args>
  bool Fail(std::string_view tmpl, const Args&... args) {
    result_.Fail(Quarn::Format(tmpl, args...));
    return false;
  }

  // Reads a big-endian number of N bytes, or fails with the width's message.
  template <size_t N>
  bool ReadNumber(uint64_t& out) {
    if (size_ - pos_ < N) {
      constexpr std::string_view tmpl =
          N == 1 ? kTruncated8 : N == 2 ? kTruncated16 : N == 4 ? kTruncated32 : kTruncated64;
      return Fail(tmpl, pos_);
    }
    uint64_t v = 0;
    for (size_t i = 0; i < N; ++i) v = (v << 8) | data_[pos_ + i];
    pos_ += N;
    out = v;
    return true;
  }

  // Length bytes for str/bin/array/map: 1, 2 or 4 by the format's position
  // in its group.
  bool ReadSizedLength(unsigned width_index, uint64_t& out) {
    switch (width_index) {
      case 0: return ReadNumber<1>(out);
      case 1: return ReadNumber<2>(out);
      default: return ReadNumber<4>(out);
    }
  }

  bool ReadText(uint64_t length, std::string_view& out) {
    if (size_ - pos_ < length) return Fail(kStringTruncated, length, pos_);
    out = std::string_view(reinterpret_cast<const char*>(data_ + pos_), static_cast<size_t>(length));
    pos_ += static_cast<size_t>(length);
    return true;
  }

  bool ReadKey(uint8_t type) {
    uint64_t length = 0;
    if (type >= 0xA0 && type <= 0xBF) {
      length = type & 0x1F;
    } else if (type >= 0xD9 && type <= 0xDB) {
      if (!ReadSizedLength(type - 0xD9, length)) return false;
    } else {
      return Fail(kKeyNotString, pos_);
    }
    std::string_view key;
    if (!ReadText(length, key)) return false;
    // Names end at their first NUL, as everywhere in a tree.
    if (const void* nul = std::memchr(key.data(), '\0', key.size()); nul != nullptr) {
      key = key.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - key.data()));
    }
    key_ = key;
    return true;
  }

  void Open(BindingProperty& node, uint64_t count, bool is_map) {
    if (is_map) {
      node.MakeStructure();
      open_.push_back({&node, count * 2, 0, true});
      return;
    }
    node.MakeCollection();
    // Every element takes at least one byte, so the data bounds what a
    // header may make us reserve.
    if (node.size() == 0 && count > 0) {
      node.Reserve(static_cast<size_t>(std::min<uint64_t>(count, size_ - pos_)));
    }
    open_.push_back({&node, count, 0, false});
  }

  bool ReadValue(uint8_t type, BindingProperty& target) {
    if (type <= 0x7F) {
      target.SetSigned(type);
      return true;
    }
    if (type >= 0xE0) {
      target.SetSigned(static_cast<int8_t>(type));
      return true;
    }
    if (type <= 0x8F) {
      Open(target, type & 0x0F, /*is_map=*/true);
      return true;
    }
    if (type <= 0x9F) {
      Open(target, type & 0x0F, /*is_map=*/false);
      return true;
    }
    if (type <= 0xBF) return ReadString(type & 0x1F, target);

    uint64_t n = 0;
    switch (type) {
      case 0xC0:
        return true;  // nil keeps whatever the target holds
      case 0xC2:
      case 0xC3:
        target.SetBool(type == 0xC3);
        return true;
      case 0xC4:
      case 0xC5:
      case 0xC6: {
        if (!ReadSizedLength(type - 0xC4, n)) return false;
        if (size_ - pos_ < n) return Fail(kBytesTruncated, n, pos_);
        target.SetBlob(std::span<const uint8_t>(data_ + pos_, static_cast<size_t>(n)));
        pos_ += static_cast<size_t>(n);
        return true;
      }
      case 0xCA:
        if (!ReadNumber<4>(n)) return false;
        target.SetDouble(std::bit_cast<float>(static_cast<uint32_t>(n)));
        return true;
      case 0xCB:
        if (!ReadNumber<8>(n)) return false;
        target.SetDouble(std::bit_cast<double>(n));
        return true;
      case 0xCC:
        if (!ReadNumber<1>(n)) return false;
        target.SetUnsigned(n);
        return true;
      case 0xCD:
        if (!ReadNumber<2>(n)) return false;
        target.SetUnsigned(n);
        return true;
      case 0xCE:
        if (!ReadNumber<4>(n)) return false;
        target.SetUnsigned(n);
        return true;
      case 0xCF:
        if (!ReadNumber<8>(n)) return false;
        target.SetUnsigned(n);
        return true;
      case 0xD0:
        if (!ReadNumber<1>(n)) return false;
        target.SetSigned(static_cast<int8_t>(n));
        return true;
      case 0xD1:
        if (!ReadNumber<2>(n)) return false;
        target.SetSigned(static_cast<int16_t>(n));
        return true;
      case 0xD2:
        if (!ReadNumber<4>(n)) return false;
        target.SetSigned(static_cast<int32_t>(n));
        return true;
      case 0xD3:
        if (!ReadNumber<8>(n)) return false;
        target.SetSigned(static_cast<int64_t>(n));
        return true;
      case 0xD9:
      case 0xDA:
      case 0xDB:
        if (!ReadSizedLength(type - 0xD9, n)) return false;
        return ReadString(n, target);
      case 0xDC:
        if (!ReadNumber<2>(n)) return false;
        Open(target, n, /*is_map=*/false);
        return true;
      case 0xDD:
        if (!ReadNumber<4>(n)) return false;
        Open(target, n, /*is_map=*/false);
        return true;
      case 0xDE:
        if (!ReadNumber<2>(n)) return false;
        Open(target, n, /*is_map=*/true);
        return true;
      case 0xDF:
        if (!ReadNumber<4>(n)) return false;
        Open(target, n, /*is_map=*/true);
        return true;
      default:
        // 0xC1 (never used) and the ext formats.
        return Fail(kInvalidAt, pos_);
    }
  }

  bool ReadString(uint64_t length, BindingProperty& target) {
    std::string_view text;
    if (!ReadText(length, text)) return false;
    target.SetString(text);
    return true;
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  Quarn::BindingResult& result_;
  std::vector<Container> open_;  // innermost last
  std::string_view key_;         // the last key read; borrowed from the input
};

}  // namespace

Quarn::MsgPackReadResult Quarn::ReadMsgPack(const uint8_t* data, size_t size) {
  MsgPackReadResult out;
  if (data == nullptr) size = 0;
  Reader reader(data, size, out.result);
  reader.Run();
  out.consumed = reader.position();
  return out;
}
