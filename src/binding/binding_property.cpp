#include "binding/binding_property.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

#include "binding/detail/binding_document.h"
#include "binding/detail/c_locale_numbers.h"

namespace {

using Quarn::BindingDocument;
using Quarn::BindingMember;
using Quarn::BindingProperty;
using Quarn::BindingPropertyKind;
using Quarn::detail::CollectionRecord;
using Quarn::detail::InternedString;
using Quarn::detail::StructureRecord;

// Texts are NUL-terminated for interning and comparison.
std::string_view CutAtNul(std::string_view text) {
  const size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

constexpr size_t kMaxElements = std::numeric_limits<ptrdiff_t>::max() / sizeof(BindingProperty);
constexpr size_t kMaxMembers = std::numeric_limits<uint32_t>::max();

// Cells hold no pointers into themselves, so arrays of them move bytewise.
template <class Cell>
Cell* GrowArray(BindingDocument* document, Cell* data, size_t size, size_t old_capacity, size_t capacity) {
  auto* grown = static_cast<Cell*>(document->AllocateBlock(capacity * sizeof(Cell)));
  if (size != 0) std::memcpy(static_cast<void*>(grown), static_cast<const void*>(data), size * sizeof(Cell));
  document->FreeBlock(data, old_capacity * sizeof(Cell));
  return grown;
}

// Index of the first member whose name is not below `name`.
uint32_t LowerBound(const StructureRecord& record, std::string_view name) {
  const BindingMember* begin = record.members;
  const BindingMember* found =
      std::lower_bound(begin, begin + record.size, name,
                       [](const BindingMember& member, std::string_view key) { return member.name() < key; });
  return static_cast<uint32_t>(found - record.members);
}

int64_t TruncateToSigned(double d, int64_t def) {
  if (std::isnan(d)) return def;
  if (d >= 9223372036854775808.0) return std::numeric_limits<int64_t>::max();
  if (d < -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(d);
}

}  // namespace

std::string_view Quarn::KindName(BindingPropertyKind kind) {
  static constexpr std::string_view kNames[] = {"empty",  "bool", "signed", "unsigned",   "float",
                                                "string", "blob", "enum",   "collection", "structure"};
  const auto code = static_cast<size_t>(kind);
  return code < std::size(kNames) ? kNames[code] : std::string_view();
}

std::string_view Quarn::BindingMember::name() const { return name_->view(); }

Quarn::BindingProperty::~BindingProperty() {
  // A root frees its whole tree with the document, without visiting it.
  if (owns_document()) {
    delete document();
  } else {
    BindingDocument::ClearValue(*this);
  }
}

Quarn::BindingProperty::BindingProperty(const BindingProperty& other) {
  BindingDocument::CopyValue(*this, other);
}

Quarn::BindingProperty::BindingProperty(BindingProperty&& other) noexcept {
  if (other.owns_document()) {
    payload_ = other.payload_;
    tag_ = other.tag_;
    other.payload_.u = 0;
    other.tag_ = kOwnsBit;
    return;
  }
  BindingDocument::CopyValue(*this, other);
  BindingDocument::ClearValue(other);
}

Quarn::BindingProperty& Quarn::BindingProperty::operator=(const BindingProperty& other) {
  if (this == &other) return *this;
  if (document() != nullptr && document() == other.document()) {
    // Same tree: either value may lie inside the other, so copy into a
    // detached cell first and install it once this value is cleared.
    BindingProperty cell;
    cell.tag_ = reinterpret_cast<uintptr_t>(document());
    BindingDocument::CopyValue(cell, other);
    BindingDocument::ClearValue(*this);
    BindingDocument::TransferValue(*this, cell);
    return *this;
  }
  BindingDocument::ClearValue(*this);
  BindingDocument::CopyValue(*this, other);
  return *this;
}

Quarn::BindingProperty& Quarn::BindingProperty::operator=(BindingProperty&& other) noexcept {
  if (this == &other) return *this;
  if (owns_document() && other.owns_document()) {
    std::swap(payload_, other.payload_);
    std::swap(tag_, other.tag_);
    other.Clear();
    return *this;
  }
  if (document() != nullptr && document() == other.document()) {
    // Same tree: the records can change hands without a copy. Detaching the
    // source first keeps this safe when one value lies inside the other.
    BindingProperty detached;
    detached.tag_ = reinterpret_cast<uintptr_t>(document());
    BindingDocument::TransferValue(detached, other);
    if (BindingDocument::Contains(detached, this)) {
      // This value sits inside what is being moved: keep a copy, and let the
      // rest (this cell included) go with the source.
      BindingProperty copy;
      copy.tag_ = reinterpret_cast<uintptr_t>(document());
      BindingDocument::CopyValue(copy, detached);
      BindingDocument::ClearValue(*this);
      BindingDocument::TransferValue(*this, copy);
      return *this;  // `detached` releases the old subtree, this cell with it
    }
    BindingDocument::ClearValue(*this);
    BindingDocument::TransferValue(*this, detached);
    return *this;
  }
  BindingDocument::ClearValue(*this);
  BindingDocument::CopyValue(*this, other);
  BindingDocument::ClearValue(other);
  return *this;
}

size_t Quarn::BindingProperty::size() const {
  switch (kind()) {
    case BindingPropertyKind::Empty:
      return 0;
    case BindingPropertyKind::String:
      return static_cast<const InternedString*>(payload_.record)->length;
    case BindingPropertyKind::Blob:
      return static_cast<const detail::BlobRecord*>(payload_.record)->size();
    case BindingPropertyKind::Collection:
      return static_cast<const CollectionRecord*>(payload_.record)->size;
    case BindingPropertyKind::Structure:
      return static_cast<const StructureRecord*>(payload_.record)->size;
    default:
      return 1;
  }
}

void Quarn::BindingProperty::Clear() {
  // A root holds everything of its document: free it at once.
  if (owns_document() && document() != nullptr && kind() != BindingPropertyKind::Empty) {
    payload_.u = 0;
    set_kind(BindingPropertyKind::Empty);
    document()->Reset();
    return;
  }
  BindingDocument::ClearValue(*this);
}

void Quarn::BindingProperty::SetBool(bool v) {
  BindingDocument::ClearValue(*this);
  payload_.b = v;
  set_kind(BindingPropertyKind::Bool);
}

void Quarn::BindingProperty::SetSigned(int64_t v) {
  BindingDocument::ClearValue(*this);
  payload_.i = v;
  set_kind(BindingPropertyKind::Signed);
}

void Quarn::BindingProperty::SetUnsigned(uint64_t v) {
  BindingDocument::ClearValue(*this);
  payload_.u = v;
  set_kind(BindingPropertyKind::Unsigned);
}

void Quarn::BindingProperty::SetDouble(double v) {
  BindingDocument::ClearValue(*this);
  payload_.d = v;
  set_kind(BindingPropertyKind::Float);
}

void Quarn::BindingProperty::SetString(std::string_view text) {
  text = CutAtNul(text);
  // Intern before clearing: `text` may be this value's own string.
  InternedString* entry =
      text.empty() ? detail::SharedEmptyString() : BindingDocument::EnsureDocument(*this)->StoreText(text);
  BindingDocument::ClearValue(*this);
  payload_.record = entry;
  set_kind(BindingPropertyKind::String);
}

void Quarn::BindingProperty::SetBlob(std::span<const uint8_t> bytes) {
  // Stored before clearing: `bytes` may be this value's own blob.
  detail::BlobRecord* blob = BindingDocument::EnsureDocument(*this)->NewBlob(bytes);
  BindingDocument::ClearValue(*this);
  payload_.record = blob;
  set_kind(BindingPropertyKind::Blob);
}

void Quarn::BindingProperty::SetBlob(std::vector<uint8_t>&& bytes) {
  // The bytes go into the document's arena, which owns every byte of a tree.
  SetBlob(std::span<const uint8_t>(bytes.data(), bytes.size()));
}

void Quarn::BindingProperty::SetEnum(int32_t value, const StaticType& type) {
  BindingEnumRecord* record = BindingDocument::EnsureDocument(*this)->NewEnum({value, &type});
  BindingDocument::ClearValue(*this);
  payload_.record = record;
  set_kind(BindingPropertyKind::Enum);
}

void Quarn::BindingProperty::MakeCollection() {
  if (kind() == BindingPropertyKind::Collection) return;
  BindingDocument::ClearValue(*this);
  payload_.record = BindingDocument::EnsureDocument(*this)->NewCollection();
  set_kind(BindingPropertyKind::Collection);
}

void Quarn::BindingProperty::MakeStructure() {
  if (kind() == BindingPropertyKind::Structure) return;
  BindingDocument::ClearValue(*this);
  payload_.record = BindingDocument::EnsureDocument(*this)->NewStructure();
  set_kind(BindingPropertyKind::Structure);
}

std::string_view Quarn::BindingProperty::GetString() const {
  return kind() == BindingPropertyKind::String ? static_cast<const InternedString*>(payload_.record)->view()
                                              : std::string_view();
}

std::span<const uint8_t> Quarn::BindingProperty::GetBlob() const {
  if (kind() != BindingPropertyKind::Blob) return {};
  const auto* blob = static_cast<const detail::BlobRecord*>(payload_.record);
  return {blob->begin, blob->size()};
}

Quarn::BindingEnumRecord Quarn::BindingProperty::GetEnum() const {
  return kind() == BindingPropertyKind::Enum ? *static_cast<const BindingEnumRecord*>(payload_.record)
                                            : BindingEnumRecord{};
}

Quarn::BindingProperty& Quarn::BindingProperty::Element(size_t i) {
  MakeCollection();
  auto* record = static_cast<CollectionRecord*>(payload_.record);
  if (i < record->size) return record->data[i];
  if (i >= kMaxElements) throw std::length_error("binding collection too long");
  if (i >= record->capacity) {
    const size_t capacity = std::max({i + 1, record->capacity * 2, size_t{4}});
    record->data =
        GrowArray(document(), record->data, record->size, record->capacity, std::min(capacity, kMaxElements));
    record->capacity = std::min(capacity, kMaxElements);
  }
  for (size_t j = record->size; j <= i; ++j) BindingDocument::InitChild(record->data + j, document());
  record->size = i + 1;
  return record->data[i];
}

Quarn::BindingProperty& Quarn::BindingProperty::Append() { return Element(IsCollection() ? size() : 0); }

const Quarn::BindingProperty& Quarn::BindingProperty::Element(size_t i) const {
  if (kind() != BindingPropertyKind::Collection) return EmptyValue();
  const auto* record = static_cast<const CollectionRecord*>(payload_.record);
  return i < record->size ? record->data[i] : EmptyValue();
}

void Quarn::BindingProperty::Reserve(size_t n) {
  if (n > kMaxElements) throw std::length_error("binding collection too long");
  if (kind() != BindingPropertyKind::Collection) return;
  auto* record = static_cast<CollectionRecord*>(payload_.record);
  if (n <= record->capacity) return;
  record->data = GrowArray(document(), record->data, record->size, record->capacity, n);
  record->capacity = n;
}

std::span<Quarn::BindingProperty> Quarn::BindingProperty::Elements() {
  if (kind() != BindingPropertyKind::Collection) return {};
  auto* record = static_cast<CollectionRecord*>(payload_.record);
  return {record->data, record->size};
}

std::span<const Quarn::BindingProperty> Quarn::BindingProperty::Elements() const {
  if (kind() != BindingPropertyKind::Collection) return {};
  const auto* record = static_cast<const CollectionRecord*>(payload_.record);
  return {record->data, record->size};
}

Quarn::BindingProperty& Quarn::BindingProperty::Member(std::string_view name) {
  name = CutAtNul(name);
  MakeStructure();
  auto* record = static_cast<StructureRecord*>(payload_.record);
  const uint32_t index = LowerBound(*record, name);
  if (index < record->size && record->members[index].name() == name) return record->members[index].value_;
  if (record->size == kMaxMembers) throw std::length_error("binding structure too large");

  InternedString* entry = document()->Intern(name);
  if (record->size == record->capacity) {
    const size_t capacity = std::min<size_t>(std::max<size_t>(size_t{record->capacity} * 2, 4), kMaxMembers);
    try {
      record->members = GrowArray(document(), record->members, record->size, record->capacity, capacity);
    } catch (...) {
      BindingDocument::Release(document(), entry);
      throw;
    }
    record->capacity = static_cast<uint32_t>(capacity);
  }
  BindingMember* slot = record->members + index;
  std::memmove(static_cast<void*>(slot + 1), static_cast<const void*>(slot),
               (record->size - index) * sizeof(BindingMember));
  BindingDocument::InitMember(slot, document(), entry);
  ++record->size;
  return slot->value_;
}

const Quarn::BindingProperty& Quarn::BindingProperty::Member(std::string_view name) const {
  const BindingProperty* found = FindMember(name);
  return found != nullptr ? *found : EmptyValue();
}

const Quarn::BindingProperty* Quarn::BindingProperty::FindMember(std::string_view name) const {
  if (kind() != BindingPropertyKind::Structure) return nullptr;
  name = CutAtNul(name);
  const auto* record = static_cast<const StructureRecord*>(payload_.record);
  const uint32_t index = LowerBound(*record, name);
  if (index < record->size && record->members[index].name() == name) return &record->members[index].value_;
  return nullptr;
}

Quarn::BindingProperty* Quarn::BindingProperty::FindMember(std::string_view name) {
  return const_cast<BindingProperty*>(std::as_const(*this).FindMember(name));
}

bool Quarn::BindingProperty::EraseMember(std::string_view name) {
  if (kind() != BindingPropertyKind::Structure) return false;
  name = CutAtNul(name);
  auto* record = static_cast<StructureRecord*>(payload_.record);
  const uint32_t index = LowerBound(*record, name);
  if (index >= record->size || record->members[index].name() != name) return false;
  BindingMember* slot = record->members + index;
  BindingDocument::ClearValue(slot->value_);
  BindingDocument::Release(document(), slot->name_);
  std::memmove(static_cast<void*>(slot), static_cast<const void*>(slot + 1),
               (record->size - index - 1) * sizeof(BindingMember));
  --record->size;
  return true;
}

std::span<Quarn::BindingMember> Quarn::BindingProperty::Members() {
  if (kind() != BindingPropertyKind::Structure) return {};
  auto* record = static_cast<StructureRecord*>(payload_.record);
  return {record->members, record->size};
}

std::span<const Quarn::BindingMember> Quarn::BindingProperty::Members() const {
  if (kind() != BindingPropertyKind::Structure) return {};
  const auto* record = static_cast<const StructureRecord*>(payload_.record);
  return {record->members, record->size};
}

const Quarn::BindingProperty& Quarn::BindingProperty::EmptyValue() {
  static const BindingProperty kEmpty;
  return kEmpty;
}

bool Quarn::ReadBool(const BindingProperty& value) {
  switch (value.kind()) {
    case BindingPropertyKind::Bool:
      return value.GetBool();
    case BindingPropertyKind::Signed:
      return value.GetSigned() != 0;
    case BindingPropertyKind::Unsigned:
      return value.GetUnsigned() != 0;
    case BindingPropertyKind::Float:
      return value.GetDouble() != 0.0;  // a NaN reads true
    case BindingPropertyKind::String:
      return value.GetString() == "true" || value.GetString() == "1";
    case BindingPropertyKind::Enum:
      return value.GetEnum().value != 0;
    case BindingPropertyKind::Blob:
    case BindingPropertyKind::Collection:
    case BindingPropertyKind::Structure:
      return value.size() != 0;
    default:
      return false;
  }
}

int64_t Quarn::ReadSigned(const BindingProperty& value, int64_t def) {
  switch (value.kind()) {
    case BindingPropertyKind::Bool:
      return value.GetBool() ? 1 : 0;
    case BindingPropertyKind::Signed:
      return value.GetSigned();
    case BindingPropertyKind::Unsigned:
      return static_cast<int64_t>(value.GetUnsigned());
    case BindingPropertyKind::Float:
      return TruncateToSigned(value.GetDouble(), def);
    case BindingPropertyKind::String:
      // Interned texts are NUL-terminated.
      return detail::StrToSigned(value.GetString().data(), nullptr, 0);
    case BindingPropertyKind::Enum:
      return value.GetEnum().value;
    default:
      return def;
  }
}

uint64_t Quarn::ReadUnsigned(const BindingProperty& value, uint64_t def) {
  switch (value.kind()) {
    case BindingPropertyKind::Bool:
      return value.GetBool() ? 1 : 0;
    case BindingPropertyKind::Signed:
      return static_cast<uint64_t>(value.GetSigned());
    case BindingPropertyKind::Unsigned:
      return value.GetUnsigned();
    case BindingPropertyKind::Float: {
      const double d = value.GetDouble();
      if (std::isnan(d)) return def;
      if (d >= 18446744073709551616.0) return std::numeric_limits<uint64_t>::max();
      if (d >= 9223372036854775808.0) return static_cast<uint64_t>(d);
      return static_cast<uint64_t>(TruncateToSigned(d, 0));
    }
    case BindingPropertyKind::String:
      return detail::StrToUnsigned(value.GetString().data(), nullptr, 0);
    case BindingPropertyKind::Enum:
      return static_cast<uint64_t>(static_cast<int64_t>(value.GetEnum().value));
    default:
      return def;
  }
}

void Quarn::BindingResult::Fail(std::string_view message) {
  // The message may be this result's own error text, which Clear releases.
  const std::string text(message);
  value.Clear();
  ok_ = false;
  value.Member("error").SetString(text);
}

std::string_view Quarn::BindingResult::ErrorMessage() const {
  if (ok_) return {};
  const BindingProperty* error = value.FindMember("error");
  return error != nullptr ? error->GetString() : std::string_view();
}

void Quarn::BindingResult::Reset() {
  value.Clear();
  ok_ = true;
}
