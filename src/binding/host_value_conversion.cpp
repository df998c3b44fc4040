#include "binding/host_value_conversion.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <span>
#include <unordered_set>
#include <utility>
#include <vector>

#include "binding/binding_registry.h"
#include "binding/conversion_messages.h"
#include "binding/message_format.h"

namespace Msg = Quarn::ConversionMessage;
using Quarn::BindingProperty;
using Quarn::BindingPropertyKind;

namespace {

std::string_view TagName(uint32_t tag) {
  switch (tag) {
    case KIV_VALUE_BOOL:
      return "bool";
    case KIV_VALUE_SIGNED:
      return "signed";
    case KIV_VALUE_UNSIGNED:
      return "unsigned";
    case KIV_VALUE_DOUBLE:
      return "float";
    case KIV_VALUE_TEXT:
    case KIV_VALUE_TEXT_OWNED:
      return "string";
    case KIV_VALUE_BYTES:
    case KIV_VALUE_BYTES_OWNED:
      return "blob";
    case KIV_VALUE_ARRAY:
      return "collection";
    case KIV_VALUE_OBJECT:
      return "structure";
    default:
      return "";
  }
}

char* CopyText(std::string_view text) {
  auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (copy == nullptr) throw std::bad_alloc();
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

// Zeroed, so every entry reads as tag 0 until it is filled: a partly built
// value can always be released.
void* ZeroedArray(size_t count, size_t size) {
  if (count == 0) return nullptr;
  void* data = std::calloc(count, size);
  if (data == nullptr) throw std::bad_alloc();
  return data;
}

constexpr size_t kMaxCount = std::numeric_limits<uint32_t>::max();

}  // namespace

bool Quarn::FromHostValue(BindingProperty& target, const HostValue& value, std::string_view name,
                          std::string& error) {
  target.Clear();
  std::vector<std::pair<BindingProperty*, const HostValue*>> pending{{&target, &value}};
  std::vector<std::pair<BindingProperty*, const HostValue*>> members;
  std::unordered_set<const BindingProperty*> seen;
  while (!pending.empty()) {
    auto [to, from] = pending.back();
    pending.pop_back();
    switch (from->tag) {
      case KIV_VALUE_NULL:
        break;
      case KIV_VALUE_BOOL:
        to->SetBool(from->data.boolean != 0);
        break;
      case KIV_VALUE_SIGNED:
        to->SetSigned(from->data.i64);
        break;
      case KIV_VALUE_UNSIGNED:
        to->SetUnsigned(from->data.u64);
        break;
      case KIV_VALUE_DOUBLE:
        to->SetDouble(from->data.f64);
        break;
      case KIV_VALUE_TEXT:
      case KIV_VALUE_TEXT_OWNED:
        to->SetString(from->data.text != nullptr ? std::string_view(from->data.text) : std::string_view());
        break;
      case KIV_VALUE_BYTES:
      case KIV_VALUE_BYTES_OWNED: {
        const auto* bytes = static_cast<const uint8_t*>(from->data.seq.data);
        to->SetBlob(std::span<const uint8_t>(bytes, bytes != nullptr ? from->data.seq.count : 0));
        break;
      }
      case KIV_VALUE_ARRAY: {
        const auto* elements = static_cast<const HostValue*>(from->data.seq.data);
        const uint32_t count = elements != nullptr ? from->data.seq.count : 0;
        to->MakeCollection();
        to->Reserve(count);
        for (uint32_t i = 0; i < count; ++i) to->Append();
        // All elements exist before any pointer to them is taken.
        auto cells = to->Elements();
        for (uint32_t i = count; i-- > 0;) pending.emplace_back(&cells[i], &elements[i]);
        break;
      }
      case KIV_VALUE_OBJECT: {
        const auto* entries = static_cast<const HostMember*>(from->data.seq.data);
        const uint32_t count = entries != nullptr ? from->data.seq.count : 0;
        to->MakeStructure();
        // Insert every name first (inserting moves members), then pair them.
        for (uint32_t i = 0; i < count; ++i) to->Member(entries[i].key != nullptr ? entries[i].key : "");
        members.clear();
        seen.clear();
        // A key given twice: the last entry wins.
        for (uint32_t i = count; i-- > 0;) {
          BindingProperty* member = to->FindMember(entries[i].key != nullptr ? entries[i].key : "");
          if (count > 1 && !seen.insert(member).second) continue;
          members.emplace_back(member, &entries[i].value);
        }
        pending.insert(pending.end(), members.begin(), members.end());
        break;
      }
      default:
        error = Format(Msg::kHostValueIncompatible, name, TagName(from->tag));
        target.Clear();
        return false;
    }
  }
  return true;
}

namespace {

// The enumerator name an enum is written as, or null for its number.
const char* EnumName(const Quarn::BindingEnumRecord& record, const Quarn::BindingRegistry* registry) {
  return registry != nullptr && record.type != nullptr ? registry->EnumeratorName(*record.type, record.value)
                                                       : nullptr;
}

// Where the texts, bytes and entry arrays of a written value live: each in
// an allocation of its own, which ReleaseHostValue frees one by one.
struct SeparateStore {
  static constexpr uint32_t kTextTag = KIV_VALUE_TEXT_OWNED;
  static constexpr uint32_t kBytesTag = KIV_VALUE_BYTES_OWNED;
  static constexpr uint8_t kKeysOwned = 1;

  template <class Entry>
  Entry* Entries(size_t count) {
    return static_cast<Entry*>(ZeroedArray(count, sizeof(Entry)));
  }
  const char* Text(std::string_view text) { return CopyText(text); }
  const void* Bytes(std::span<const uint8_t> bytes) {
    if (bytes.empty()) return nullptr;
    void* copy = std::malloc(bytes.size());
    if (copy == nullptr) throw std::bad_alloc();
    std::memcpy(copy, bytes.data(), bytes.size());
    return copy;
  }
};

// What one block must hold: the entry arrays first, then the text bytes.
struct BlockSize {
  size_t entries = 0;
  size_t text = 0;
};

bool MeasureBlock(const BindingProperty& root, const Quarn::BindingRegistry* registry, BlockSize& size) {
  std::vector<const BindingProperty*> pending{&root};
  while (!pending.empty()) {
    const BindingProperty* from = pending.back();
    pending.pop_back();
    switch (from->kind()) {
      case BindingPropertyKind::String:
        size.text += from->GetString().size() + 1;
        break;
      case BindingPropertyKind::Blob:
        if (from->GetBlob().size() > kMaxCount) return false;
        size.text += from->GetBlob().size();
        break;
      case BindingPropertyKind::Enum:
        if (const char* name = EnumName(from->GetEnum(), registry)) size.text += std::strlen(name) + 1;
        break;
      case BindingPropertyKind::Collection:
        if (from->Elements().size() > kMaxCount) return false;
        size.entries += from->Elements().size() * sizeof(HostValue);
        for (const BindingProperty& element : from->Elements()) pending.push_back(&element);
        break;
      case BindingPropertyKind::Structure:
        size.entries += from->Members().size() * sizeof(HostMember);
        for (const Quarn::BindingMember& member : from->Members()) {
          size.text += member.name().size() + 1;
          pending.push_back(&member.value());
        }
        break;
      default:
        break;
    }
  }
  return true;
}

// Everything in one block measured beforehand, freed with one free.
class BlockStore {
 public:
  static constexpr uint32_t kTextTag = KIV_VALUE_TEXT;
  static constexpr uint32_t kBytesTag = KIV_VALUE_BYTES;
  static constexpr uint8_t kKeysOwned = 0;

  BlockStore(char* block, const BlockSize& size) : entries_(block), text_(block + size.entries) {}

  template <class Entry>
  Entry* Entries(size_t count) {
    if (count == 0) return nullptr;
    auto* entries = reinterpret_cast<Entry*>(entries_);
    entries_ += count * sizeof(Entry);
    return entries;
  }
  const char* Text(std::string_view text) {
    char* copy = text_;
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    text_ += text.size() + 1;
    return copy;
  }
  const void* Bytes(std::span<const uint8_t> bytes) {
    if (bytes.empty()) return nullptr;
    char* copy = text_;
    std::memcpy(copy, bytes.data(), bytes.size());
    text_ += bytes.size();
    return copy;
  }

 private:
  char* entries_;
  char* text_;
};

// Fills `out`; returns false when a count does not fit the record. Each
// record gets its data before its tag, so on any exit `out` is complete
// enough for ReleaseHostValue.
template <class Store>
bool WriteHostValue(HostValue& out, const BindingProperty& value, const Quarn::BindingRegistry* registry,
                    Store& store) {
  std::vector<std::pair<HostValue*, const BindingProperty*>> pending{{&out, &value}};
  while (!pending.empty()) {
    auto [to, from] = pending.back();
    pending.pop_back();
    switch (from->kind()) {
      case BindingPropertyKind::Empty:
        to->tag = KIV_VALUE_NULL;
        break;
      case BindingPropertyKind::Bool:
        to->tag = KIV_VALUE_BOOL;
        to->data.boolean = from->GetBool() ? 1 : 0;
        break;
      case BindingPropertyKind::Signed:
        to->tag = KIV_VALUE_SIGNED;
        to->data.i64 = from->GetSigned();
        break;
      case BindingPropertyKind::Unsigned:
        to->tag = KIV_VALUE_UNSIGNED;
        to->data.u64 = from->GetUnsigned();
        break;
      case BindingPropertyKind::Float:
        to->tag = KIV_VALUE_DOUBLE;
        to->data.f64 = from->GetDouble();
        break;
      case BindingPropertyKind::String:
        to->data.text = store.Text(from->GetString());
        to->tag = Store::kTextTag;
        break;
      case BindingPropertyKind::Blob: {
        const auto bytes = from->GetBlob();
        if (bytes.size() > kMaxCount) return false;
        to->data.seq.data = store.Bytes(bytes);
        to->data.seq.count = static_cast<uint32_t>(bytes.size());
        to->tag = Store::kBytesTag;
        break;
      }
      case BindingPropertyKind::Enum: {
        const Quarn::BindingEnumRecord record = from->GetEnum();
        if (const char* name = EnumName(record, registry)) {
          to->data.text = store.Text(name);
          to->tag = Store::kTextTag;
        } else {
          to->tag = KIV_VALUE_SIGNED;
          to->data.i64 = record.value;
        }
        break;
      }
      case BindingPropertyKind::Collection: {
        const auto elements = from->Elements();
        if (elements.size() > kMaxCount) return false;
        auto* array = store.template Entries<HostValue>(elements.size());
        to->data.seq.data = array;
        to->data.seq.count = static_cast<uint32_t>(elements.size());
        to->tag = KIV_VALUE_ARRAY;
        for (size_t i = elements.size(); i-- > 0;) pending.emplace_back(&array[i], &elements[i]);
        break;
      }
      case BindingPropertyKind::Structure: {
        const auto members = from->Members();
        auto* entries = store.template Entries<HostMember>(members.size());
        to->data.seq.data = entries;
        to->data.seq.count = static_cast<uint32_t>(members.size());
        to->tag = KIV_VALUE_OBJECT;
        for (size_t i = members.size(); i-- > 0;) {
          entries[i].key = store.Text(members[i].name());
          entries[i].owned = Store::kKeysOwned;
          pending.emplace_back(&entries[i].value, &members[i].value());
        }
        break;
      }
    }
  }
  return true;
}

}  // namespace

bool Quarn::ToHostValue(HostValue& out, const BindingProperty& value, const BindingRegistry* registry,
                        std::string& error) {
  out = HostValue{};
  SeparateStore store;
  try {
    if (WriteHostValue(out, value, registry, store)) return true;
  } catch (...) {
    ReleaseHostValue(out);
    throw;
  }
  ReleaseHostValue(out);
  error = std::string(Msg::kHostValueTooLarge);
  return false;
}

bool Quarn::ToHostValue(HostValue& out, const BindingProperty& value, const BindingRegistry* registry) {
  std::string error;
  return ToHostValue(out, value, registry, error);
}

void Quarn::ReleaseHostValue(HostValue& value) {
  // Copies of the records go on the stack, so each array can be freed as
  // soon as its entries have been read.
  std::vector<HostValue> pending{value};
  while (!pending.empty()) {
    const HostValue item = pending.back();
    pending.pop_back();
    switch (item.tag) {
      case KIV_VALUE_TEXT_OWNED:
        std::free(const_cast<char*>(item.data.text));
        break;
      case KIV_VALUE_BYTES_OWNED:
        std::free(const_cast<void*>(item.data.seq.data));
        break;
      case KIV_VALUE_ARRAY: {
        const auto* elements = static_cast<const HostValue*>(item.data.seq.data);
        for (uint32_t i = 0; i < item.data.seq.count && elements != nullptr; ++i) {
          if (elements[i].tag >= KIV_VALUE_TEXT_OWNED) pending.push_back(elements[i]);
        }
        std::free(const_cast<void*>(item.data.seq.data));
        break;
      }
      case KIV_VALUE_OBJECT: {
        const auto* entries = static_cast<const HostMember*>(item.data.seq.data);
        for (uint32_t i = 0; i < item.data.seq.count && entries != nullptr; ++i) {
          if (entries[i].owned == 1) std::free(const_cast<char*>(entries[i].key));
          if (entries[i].value.tag >= KIV_VALUE_TEXT_OWNED) pending.push_back(entries[i].value);
        }
        std::free(const_cast<void*>(item.data.seq.data));
        break;
      }
      default:
        break;
    }
  }
  value = HostValue{};
}

bool Quarn::ToHostValueInOneBlock(HostValue& out, const BindingProperty& value, const BindingRegistry* registry,
                                  std::string& error) {
  out = HostValue{};
  BlockSize size;
  if (!MeasureBlock(value, registry, size)) {
    error = std::string(Msg::kHostValueTooLarge);
    return false;
  }
  char* block = nullptr;
  if (size.entries + size.text > 0) {
    // Zeroed, so that every entry reads as tag 0 until it is filled.
    block = static_cast<char*>(std::calloc(1, size.entries + size.text));
    if (block == nullptr) throw std::bad_alloc();
  }
  BlockStore store(block, size);
  WriteHostValue(out, value, registry, store);  // measured: every count fits
  return true;
}
