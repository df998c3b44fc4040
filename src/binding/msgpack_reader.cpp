#include "binding/msgpack_reader.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string_view>
#include <vector>

#include "binding/codec_messages.h"
#include "binding/detail/tree_builder.h"
#include "binding/message_format.h"

namespace {

using Quarn::BindingProperty;

namespace Msg = Quarn::CodecMessage;

// Builds each container once, when it closes. A key that repeats selects
// the member it selected before: nil leaves that member as it is, and a map
// or array over one of the same kind fills it further (members by name,
// elements by index); the builder's overlay mode does exactly that.
class BuilderSink {
 public:
  explicit BuilderSink(Quarn::detail::TreeBuilder& builder) : builder_(builder) {}

  void Key(std::string_view key) { builder_.Key(key); }
  void Null() { builder_.Null(); }
  void Bool(bool v) { builder_.Bool(v); }
  void Signed(int64_t v) { builder_.Signed(v); }
  void Unsigned(uint64_t v) { builder_.Unsigned(v); }
  void Double(double v) { builder_.Double(v); }
  void String(std::string_view text) { builder_.String(text); }
  void Blob(std::span<const uint8_t> bytes) { builder_.Blob(bytes); }
  void OpenArray(uint64_t, size_t) { builder_.BeginCollection(); }
  void OpenMap(uint64_t) { builder_.BeginStructure(); }
  void Close(bool is_map) {
    if (is_map) {
      builder_.EndStructure();
    } else {
      builder_.EndCollection();
    }
  }
  void Abandon() { builder_.Abandon(); }

  // Installs the tree. REQUIRES: every container closed.
  void Finish() { builder_.Finish(); }

 private:
  Quarn::detail::TreeBuilder& builder_;
};

// The byte-level reader: type bytes, lengths, counts and every failure.
// What the values become is the sink's business.
template <class Sink>
class Reader {
 public:
  Reader(const uint8_t* data, size_t size, Quarn::BindingResult& result, Sink& sink)
      : data_(data), size_(size), result_(result), sink_(sink) {
    open_.reserve(16);
  }

  // Reads until the root value is complete, the data ends, or a failure.
  // Returns false on failure (the result then holds the message); on
  // success every container still open at the end of the data is closed.
  bool Run() {
    bool started = false;
    while (pos_ < size_) {
      bool want_key = false;
      bool done = false;
      // Is the next type byte the root, a map key, or the next element or
      // member value of the innermost open container?
      for (;;) {
        if (open_.empty()) {
          done = started;
          started = true;
          break;
        }
        Container& top = open_.back();
        if (top.index == top.expected) {
          sink_.Close(top.is_map);
          open_.pop_back();
          continue;
        }
        want_key = top.is_map && top.index % 2 == 0;
        ++top.index;
        break;
      }
      if (done) break;
      const uint8_t type = data_[pos_++];
      const bool ok = want_key ? ReadKey(type) : ReadValue(type);
      if (!ok) return false;
    }
    while (!open_.empty()) {
      sink_.Close(open_.back().is_map);
      open_.pop_back();
    }
    return true;
  }

  size_t position() const { return pos_; }

 private:
  struct Container {
    uint64_t expected;  // elements, or twice the map's entries
    uint64_t index;     // next element, or key (even) / value (odd)
    bool is_map;
  };

  template <class... Args>
  bool Fail(std::string_view tmpl, const Args&... args) {
    sink_.Abandon();
    result_.Fail(Quarn::Format(tmpl, args...));
    return false;
  }

  // Reads a big-endian number of N bytes, or fails with the width's message.
  template <size_t N>
  bool ReadNumber(uint64_t& out) {
    if (size_ - pos_ < N) {
      constexpr std::string_view tmpl = N == 1   ? Msg::kMsgPackTruncated8
                                        : N == 2 ? Msg::kMsgPackTruncated16
                                        : N == 4 ? Msg::kMsgPackTruncated32
                                                 : Msg::kMsgPackTruncated64;
      return Fail(tmpl, pos_);
    }
    uint64_t v = 0;
    for (size_t i = 0; i < N; ++i) v = (v << 8) | data_[pos_ + i];
    pos_ += N;
    out = v;
    return true;
  }

  // Length bytes for str/bin: 1, 2 or 4 by the format's place in its group.
  bool ReadSizedLength(unsigned width_index, uint64_t& out) {
    switch (width_index) {
      case 0:
        return ReadNumber<1>(out);
      case 1:
        return ReadNumber<2>(out);
      default:
        return ReadNumber<4>(out);
    }
  }

  bool ReadText(uint64_t length, std::string_view& out) {
    if (size_ - pos_ < length) return Fail(Msg::kMsgPackStringTruncated, length, pos_);
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
      return Fail(Msg::kMsgPackKeyNotString, pos_);
    }
    std::string_view key;
    if (!ReadText(length, key)) return false;
    sink_.Key(key);
    return true;
  }

  void Open(uint64_t count, bool is_map) {
    if (is_map) {
      sink_.OpenMap(count);
    } else {
      sink_.OpenArray(count, size_ - pos_);
    }
    open_.push_back({is_map ? count * 2 : count, 0, is_map});
  }

  bool ReadString(uint64_t length) {
    std::string_view text;
    if (!ReadText(length, text)) return false;
    sink_.String(text);
    return true;
  }

  bool ReadValue(uint8_t type) {
    if (type <= 0x7F) {
      sink_.Signed(type);
      return true;
    }
    if (type >= 0xE0) {
      sink_.Signed(static_cast<int8_t>(type));
      return true;
    }
    if (type <= 0x8F) {
      Open(type & 0x0F, /*is_map=*/true);
      return true;
    }
    if (type <= 0x9F) {
      Open(type & 0x0F, /*is_map=*/false);
      return true;
    }
    if (type <= 0xBF) return ReadString(type & 0x1F);

    uint64_t n = 0;
    switch (type) {
      case 0xC0:
        sink_.Null();
        return true;
      case 0xC2:
      case 0xC3:
        sink_.Bool(type == 0xC3);
        return true;
      case 0xC4:
      case 0xC5:
      case 0xC6: {
        if (!ReadSizedLength(type - 0xC4, n)) return false;
        if (size_ - pos_ < n) return Fail(Msg::kMsgPackBytesTruncated, n, pos_);
        sink_.Blob(std::span<const uint8_t>(data_ + pos_, static_cast<size_t>(n)));
        pos_ += static_cast<size_t>(n);
        return true;
      }
      case 0xCA:
        if (!ReadNumber<4>(n)) return false;
        sink_.Double(std::bit_cast<float>(static_cast<uint32_t>(n)));
        return true;
      case 0xCB:
        if (!ReadNumber<8>(n)) return false;
        sink_.Double(std::bit_cast<double>(n));
        return true;
      case 0xCC:
        if (!ReadNumber<1>(n)) return false;
        sink_.Unsigned(n);
        return true;
      case 0xCD:
        if (!ReadNumber<2>(n)) return false;
        sink_.Unsigned(n);
        return true;
      case 0xCE:
        if (!ReadNumber<4>(n)) return false;
        sink_.Unsigned(n);
        return true;
      case 0xCF:
        if (!ReadNumber<8>(n)) return false;
        sink_.Unsigned(n);
        return true;
      case 0xD0:
        if (!ReadNumber<1>(n)) return false;
        sink_.Signed(static_cast<int8_t>(n));
        return true;
      case 0xD1:
        if (!ReadNumber<2>(n)) return false;
        sink_.Signed(static_cast<int16_t>(n));
        return true;
      case 0xD2:
        if (!ReadNumber<4>(n)) return false;
        sink_.Signed(static_cast<int32_t>(n));
        return true;
      case 0xD3:
        if (!ReadNumber<8>(n)) return false;
        sink_.Signed(static_cast<int64_t>(n));
        return true;
      case 0xD9:
      case 0xDA:
      case 0xDB:
        if (!ReadSizedLength(type - 0xD9, n)) return false;
        return ReadString(n);
      case 0xDC:
        if (!ReadNumber<2>(n)) return false;
        Open(n, /*is_map=*/false);
        return true;
      case 0xDD:
        if (!ReadNumber<4>(n)) return false;
        Open(n, /*is_map=*/false);
        return true;
      case 0xDE:
        if (!ReadNumber<2>(n)) return false;
        Open(n, /*is_map=*/true);
        return true;
      case 0xDF:
        if (!ReadNumber<4>(n)) return false;
        Open(n, /*is_map=*/true);
        return true;
      default:
        // 0xC1 (never used) and the ext formats.
        return Fail(Msg::kMsgPackInvalidAt, pos_);
    }
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  Quarn::BindingResult& result_;
  Sink& sink_;
  std::vector<Container> open_;  // innermost last
};

}  // namespace

Quarn::MsgPackReadResult Quarn::ReadMsgPack(const uint8_t* data, size_t size) {
  MsgPackReadResult out;
  if (data == nullptr) size = 0;
  Quarn::detail::TreeBuilder::Scope scope(out.result.value, Quarn::detail::DuplicateKeys::kOverlay);
  BuilderSink sink(scope.builder());
  Reader reader(data, size, out.result, sink);
  const bool ok = reader.Run();
  out.consumed = reader.position();
  if (ok) sink.Finish();
  return out;
}
