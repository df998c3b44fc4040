#include "host/host_value.h"

#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cmath>
#include <cstring>

namespace kiv::host::detail {

// Bump allocator for the records and texts of one value tree; everything is
// freed at once with the arena. Records are packed, so no alignment needed.
class ValueArena {
 public:
  char* Allocate(size_t size) {
    if (size == 0) return nullptr;
    if (size > kBlockSize / 4) {
      bytes_ += size;
      blocks_.push_back(std::make_unique<char[]>(size));
      return blocks_.back().get();
    }
    if (size > left_) {
      bytes_ += kBlockSize;
      blocks_.push_back(std::make_unique<char[]>(kBlockSize));
      next_ = blocks_.back().get();
      left_ = kBlockSize;
    }
    char* out = next_;
    next_ += size;
    left_ -= size;
    return out;
  }
  const char* CopyText(std::string_view text) {
    char* out = Allocate(text.size() + 1);
    if (!text.empty()) std::memcpy(out, text.data(), text.size());
    out[text.size()] = '\0';
    return out;
  }
  template <class T>
  T* AllocateRecords(uint32_t count) {
    return reinterpret_cast<T*>(Allocate(sizeof(T) * count));
  }
  size_t bytes() const { return bytes_; }

 private:
  static constexpr size_t kBlockSize = 4096;
  std::vector<std::unique_ptr<char[]>> blocks_;
  char* next_ = nullptr;
  size_t left_ = 0;
  size_t bytes_ = 0;  // in blocks_
};

}  // namespace kiv::host::detail

namespace {

using kiv::host::detail::ValueArena;

HostValue NullValue() {
  HostValue v;
  std::memset(&v, 0, sizeof v);
  return v;
}

// Copies `source` into `arena`, writing the root to `*target`. Iterative: a
// payload may be nested far deeper than the call stack allows.
Quarn::Maybe<void> DeepCopy(ValueArena& arena, const HostValue& source, HostValue* target) {
  struct Job {
    const HostValue* from;
    HostValue* to;
  };
  std::vector<Job> jobs{{&source, target}};
  while (!jobs.empty()) {
    const Job job = jobs.back();
    jobs.pop_back();
    const HostValue& from = *job.from;
    HostValue& to = *job.to;
    to = NullValue();
    const uint32_t tag = from.tag;
    switch (tag) {
      case KIV_VALUE_NULL:
        break;
      case KIV_VALUE_BOOL:
        to.tag = tag;
        to.data.boolean = from.data.boolean;
        break;
      case KIV_VALUE_SIGNED:
      case KIV_VALUE_UNSIGNED:
      case KIV_VALUE_DOUBLE:
        to.tag = tag;
        to.data.u64 = from.data.u64;
        break;
      case KIV_VALUE_TEXT:
      case KIV_VALUE_TEXT_OWNED:
        if (from.data.text == nullptr) return Quarn::Failure("null pointer in value");
        to.tag = KIV_VALUE_TEXT;
        to.data.text = arena.CopyText(from.data.text);
        break;
      case KIV_VALUE_BYTES:
      case KIV_VALUE_BYTES_OWNED: {
        const uint32_t count = from.data.seq.count;
        if (count > 0 && from.data.seq.data == nullptr) return Quarn::Failure("null pointer in value");
        char* bytes = arena.Allocate(count);
        if (count > 0) std::memcpy(bytes, from.data.seq.data, count);
        to.tag = KIV_VALUE_BYTES;
        to.data.seq.data = bytes;
        to.data.seq.count = count;
        break;
      }
      case KIV_VALUE_ARRAY: {
        const uint32_t count = from.data.seq.count;
        if (count > 0 && from.data.seq.data == nullptr) return Quarn::Failure("null pointer in value");
        const auto* elements = static_cast<const HostValue*>(from.data.seq.data);
        HostValue* copies = arena.AllocateRecords<HostValue>(count);
        for (uint32_t i = 0; i < count; ++i) {
          copies[i] = NullValue();
          jobs.push_back({&elements[i], &copies[i]});
        }
        to.tag = tag;
        to.data.seq.data = copies;
        to.data.seq.count = count;
        break;
      }
      case KIV_VALUE_OBJECT: {
        const uint32_t count = from.data.seq.count;
        if (count > 0 && from.data.seq.data == nullptr) return Quarn::Failure("null pointer in value");
        const auto* members = static_cast<const HostMember*>(from.data.seq.data);
        HostMember* copies = arena.AllocateRecords<HostMember>(count);
        for (uint32_t i = 0; i < count; ++i) {
          if (members[i].key == nullptr) return Quarn::Failure("null pointer in value");
          copies[i].key = arena.CopyText(members[i].key);
          copies[i].value = NullValue();
          copies[i].owned = 0;
          jobs.push_back({&members[i].value, &copies[i].value});
        }
        to.tag = tag;
        to.data.seq.data = copies;
        to.data.seq.count = count;
        break;
      }
      default:
        return Quarn::Failure("invalid value tag " + std::to_string(tag));
    }
  }
  return {};
}

// Builds a tree from RapidJSON's events the way a value stack does: scalars
// are pushed, and a container takes its last N entries when it closes, so
// every record is allocated once and no recursion is needed.
class JsonBuilder : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, JsonBuilder> {
 public:
  explicit JsonBuilder(ValueArena& arena) : arena_(arena) {}

  bool Null() { return Push(NullValue()); }
  bool Bool(bool b) {
    HostValue v = NullValue();
    v.tag = KIV_VALUE_BOOL;
    v.data.boolean = b ? 1 : 0;
    return Push(v);
  }
  bool Int(int i) { return Int64(i); }
  bool Uint(unsigned u) { return Int64(u); }
  bool Int64(int64_t i) {
    HostValue v = NullValue();
    v.tag = KIV_VALUE_SIGNED;
    v.data.i64 = i;
    return Push(v);
  }
  bool Uint64(uint64_t u) {
    if (u <= static_cast<uint64_t>(INT64_MAX)) return Int64(static_cast<int64_t>(u));
    HostValue v = NullValue();
    v.tag = KIV_VALUE_UNSIGNED;
    v.data.u64 = u;
    return Push(v);
  }
  bool Double(double d) {
    HostValue v = NullValue();
    v.tag = KIV_VALUE_DOUBLE;
    v.data.f64 = d;
    return Push(v);
  }
  bool String(const char* text, rapidjson::SizeType length, bool) {
    HostValue v = NullValue();
    v.tag = KIV_VALUE_TEXT;
    v.data.text = arena_.CopyText(std::string_view(text, length));
    return Push(v);
  }
  bool StartObject() { return Open(); }
  bool Key(const char* text, rapidjson::SizeType length, bool) {
    pending_key_ = arena_.CopyText(std::string_view(text, length));
    return true;
  }
  bool EndObject(rapidjson::SizeType count) {
    HostMember* members = arena_.AllocateRecords<HostMember>(count);
    const size_t first = values_.size() - count;
    for (rapidjson::SizeType i = 0; i < count; ++i) {
      members[i].key = keys_[first + i];
      members[i].value = values_[first + i];
      members[i].owned = 0;
    }
    values_.resize(first);
    keys_.resize(first);
    HostValue v = NullValue();
    v.tag = KIV_VALUE_OBJECT;
    v.data.seq.data = members;
    v.data.seq.count = count;
    return Close(v);
  }
  bool StartArray() { return Open(); }
  bool EndArray(rapidjson::SizeType count) {
    HostValue* elements = arena_.AllocateRecords<HostValue>(count);
    const size_t first = values_.size() - count;
    for (rapidjson::SizeType i = 0; i < count; ++i) elements[i] = values_[first + i];
    values_.resize(first);
    keys_.resize(first);
    HostValue v = NullValue();
    v.tag = KIV_VALUE_ARRAY;
    v.data.seq.data = elements;
    v.data.seq.count = count;
    return Close(v);
  }

  HostValue Root() const { return values_.empty() ? NullValue() : values_.back(); }

 private:
  // Keys travel beside their values: the key set by Key() belongs to the
  // next value pushed (null for array elements and the root).
  bool Push(const HostValue& v) {
    values_.push_back(v);
    keys_.push_back(pending_key_);
    pending_key_ = nullptr;
    return true;
  }
  // A container's own key was read before its members' keys.
  bool Open() {
    container_keys_.push_back(pending_key_);
    pending_key_ = nullptr;
    return true;
  }
  bool Close(const HostValue& v) {
    pending_key_ = container_keys_.back();
    container_keys_.pop_back();
    return Push(v);
  }

  ValueArena& arena_;
  std::vector<const char*> container_keys_;
  std::vector<HostValue> values_;
  std::vector<const char*> keys_;
  const char* pending_key_ = nullptr;
};

}  // namespace

kiv::host::OwnedValue::OwnedValue() noexcept : root_(NullValue()) {}

kiv::host::OwnedValue::~OwnedValue() = default;

kiv::host::OwnedValue::OwnedValue(const OwnedValue& other) : root_(NullValue()) { CopyFrom(other.root_); }

kiv::host::OwnedValue& kiv::host::OwnedValue::operator=(const OwnedValue& other) {
  if (this != &other) {
    OwnedValue copy(other);
    *this = std::move(copy);
  }
  return *this;
}

kiv::host::OwnedValue::OwnedValue(OwnedValue&& other) noexcept
    : arena_(std::move(other.arena_)), root_(other.root_) {
  other.root_ = NullValue();
}

kiv::host::OwnedValue& kiv::host::OwnedValue::operator=(OwnedValue&& other) noexcept {
  if (this != &other) {
    arena_ = std::move(other.arena_);
    root_ = other.root_;
    other.root_ = NullValue();
  }
  return *this;
}

void kiv::host::OwnedValue::CopyFrom(const HostValue& value) {
  arena_ = std::make_unique<detail::ValueArena>();
  // Only ever called with trees this class built or already checked.
  auto copied = DeepCopy(*arena_, value, &root_);
  (void)copied;
}

Quarn::Maybe<kiv::host::OwnedValue> kiv::host::OwnedValue::Copy(const HostValue& value) {
  OwnedValue out;
  out.arena_ = std::make_unique<detail::ValueArena>();
  auto copied = DeepCopy(*out.arena_, value, &out.root_);
  if (copied.HasFailure()) return copied.TakeFailure();
  return out;
}

kiv::host::OwnedValue kiv::host::OwnedValue::Bool(bool value) {
  OwnedValue out;
  out.root_.tag = KIV_VALUE_BOOL;
  out.root_.data.boolean = value ? 1 : 0;
  return out;
}

kiv::host::OwnedValue kiv::host::OwnedValue::Signed(int64_t value) {
  OwnedValue out;
  out.root_.tag = KIV_VALUE_SIGNED;
  out.root_.data.i64 = value;
  return out;
}

kiv::host::OwnedValue kiv::host::OwnedValue::Unsigned(uint64_t value) {
  OwnedValue out;
  out.root_.tag = KIV_VALUE_UNSIGNED;
  out.root_.data.u64 = value;
  return out;
}

kiv::host::OwnedValue kiv::host::OwnedValue::Double(double value) {
  OwnedValue out;
  out.root_.tag = KIV_VALUE_DOUBLE;
  out.root_.data.f64 = value;
  return out;
}

kiv::host::OwnedValue kiv::host::OwnedValue::Text(std::string_view text) {
  OwnedValue out;
  out.arena_ = std::make_unique<detail::ValueArena>();
  out.root_.tag = KIV_VALUE_TEXT;
  out.root_.data.text = out.arena_->CopyText(text);
  return out;
}

kiv::host::OwnedValue kiv::host::OwnedValue::Bytes(std::string_view bytes) {
  OwnedValue out;
  out.arena_ = std::make_unique<detail::ValueArena>();
  char* data = out.arena_->Allocate(bytes.size());
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  out.root_.tag = KIV_VALUE_BYTES;
  out.root_.data.seq.data = data;
  out.root_.data.seq.count = static_cast<uint32_t>(bytes.size());
  return out;
}

kiv::host::OwnedValue kiv::host::OwnedValue::Array(const std::vector<OwnedValue>& elements) {
  // A borrowed view over the elements' roots, then one deep copy.
  std::vector<HostValue> view;
  view.reserve(elements.size());
  for (const auto& e : elements) view.push_back(e.root_);
  HostValue root = NullValue();
  root.tag = KIV_VALUE_ARRAY;
  root.data.seq.data = view.data();
  root.data.seq.count = static_cast<uint32_t>(view.size());
  OwnedValue out;
  out.CopyFrom(root);
  return out;
}

kiv::host::OwnedValue kiv::host::OwnedValue::Object(
    const std::vector<std::pair<std::string, OwnedValue>>& members) {
  std::vector<HostMember> view(members.size());
  for (size_t i = 0; i < members.size(); ++i) {
    view[i].key = members[i].first.c_str();
    view[i].value = members[i].second.root_;
    view[i].owned = 0;
  }
  HostValue root = NullValue();
  root.tag = KIV_VALUE_OBJECT;
  root.data.seq.data = view.data();
  root.data.seq.count = static_cast<uint32_t>(view.size());
  OwnedValue out;
  out.CopyFrom(root);
  return out;
}

Quarn::Maybe<kiv::host::OwnedValue> kiv::host::OwnedValue::FromJson(std::string_view json) {
  OwnedValue out;
  out.arena_ = std::make_unique<detail::ValueArena>();
  JsonBuilder builder(*out.arena_);
  rapidjson::Reader reader;
  rapidjson::MemoryStream stream(json.data(), json.size());
  constexpr unsigned kFlags = rapidjson::kParseIterativeFlag | rapidjson::kParseFullPrecisionFlag;
  const rapidjson::ParseResult result = reader.Parse<kFlags>(stream, builder);
  if (result.IsError()) {
    return Quarn::Failure("JSON parse error at offset " + std::to_string(result.Offset()) + ": " +
                          rapidjson::GetParseError_En(result.Code()));
  }
  out.root_ = builder.Root();
  return out;
}

std::string kiv::host::OwnedValue::ToJson() const { return kiv::host::ToJson(root_); }

size_t kiv::host::OwnedValue::ByteSize() const {
  return arena_ ? sizeof(detail::ValueArena) + arena_->bytes() : 0;
}

std::string kiv::host::ToJson(const HostValue& value) {
  // An explicit stack of open containers keeps deep trees off the call
  // stack; the writer keeps its own (heap) stack of levels.
  struct Frame {
    const HostValue* container;
    uint32_t next;
  };
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  const auto text = [&](const char* data, size_t size) {
    writer.String(data != nullptr ? data : "", static_cast<rapidjson::SizeType>(data != nullptr ? size : 0));
  };
  std::vector<Frame> open;
  const HostValue* current = &value;
  for (;;) {
    if (current != nullptr) {
      const uint32_t tag = current->tag;
      switch (tag) {
        case KIV_VALUE_NULL:
          writer.Null();
          break;
        case KIV_VALUE_BOOL:
          writer.Bool(current->data.boolean != 0);
          break;
        case KIV_VALUE_SIGNED:
          writer.Int64(current->data.i64);
          break;
        case KIV_VALUE_UNSIGNED:
          writer.Uint64(current->data.u64);
          break;
        case KIV_VALUE_DOUBLE:
          if (std::isfinite(current->data.f64)) {
            writer.Double(current->data.f64);
          } else {
            writer.Null();
          }
          break;
        case KIV_VALUE_TEXT:
        case KIV_VALUE_TEXT_OWNED:
          text(current->data.text, current->data.text != nullptr ? std::strlen(current->data.text) : 0);
          break;
        case KIV_VALUE_BYTES:
        case KIV_VALUE_BYTES_OWNED:
          text(static_cast<const char*>(current->data.seq.data), current->data.seq.count);
          break;
        case KIV_VALUE_ARRAY:
        case KIV_VALUE_OBJECT:
          if (tag == KIV_VALUE_ARRAY) {
            writer.StartArray();
          } else {
            writer.StartObject();
          }
          open.push_back({current, 0});
          break;
        default: {
          const std::string invalid = "<invalid tag " + std::to_string(tag) + ">";
          text(invalid.data(), invalid.size());
        }
      }
      current = nullptr;
    }
    if (open.empty()) break;
    Frame& top = open.back();
    const HostValue& container = *top.container;
    const uint32_t count = container.data.seq.data == nullptr ? 0 : container.data.seq.count;
    if (top.next == count) {
      if (container.tag == KIV_VALUE_ARRAY) {
        writer.EndArray();
      } else {
        writer.EndObject();
      }
      open.pop_back();
      continue;
    }
    if (container.tag == KIV_VALUE_ARRAY) {
      current = &static_cast<const HostValue*>(container.data.seq.data)[top.next];
    } else {
      const HostMember& member = static_cast<const HostMember*>(container.data.seq.data)[top.next];
      const char* key = member.key != nullptr ? member.key : "";
      writer.Key(key, static_cast<rapidjson::SizeType>(std::strlen(key)));
      current = &member.value;
    }
    ++top.next;
  }
  return std::string(buffer.GetString(), buffer.GetSize());
}
