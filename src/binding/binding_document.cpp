#include "binding/detail/binding_document.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include "binding/static_type.h"

namespace {

using Quarn::BindingDocument;
using Quarn::BindingMember;
using Quarn::BindingProperty;
using Quarn::BindingPropertyKind;
using Quarn::detail::CollectionRecord;
using Quarn::detail::InternedString;
using Quarn::detail::StructureRecord;

struct SharedEmptyEntry {
  InternedString header;
  char nul;
};
SharedEmptyEntry g_shared_empty{{0, 0, 0, 0}, '\0'};

// A stack that lives on the C++ stack until it outgrows `N` entries; tree
// walks use it so that shallow trees never allocate.
template <class T, size_t N = 32>
class SmallStack {
 public:
  bool empty() const { return size_ == 0; }
  void push(const T& item) {
    if (size_ < N) {
      inline_[size_++] = item;
    } else {
      spill_.push_back(item);
      ++size_;
    }
  }
  T pop() {
    --size_;
    if (size_ >= N) {
      T item = spill_.back();
      spill_.pop_back();
      return item;
    }
    return inline_[size_];
  }

 private:
  T inline_[N];
  std::vector<T> spill_;
  size_t size_ = 0;
};

bool HoldsRecord(BindingPropertyKind kind) {
  return kind >= BindingPropertyKind::String && kind <= BindingPropertyKind::Structure;
}

}  // namespace

Quarn::detail::InternedString* Quarn::detail::SharedEmptyString() { return &g_shared_empty.header; }

uint32_t Quarn::detail::TextHash(std::string_view text) {
  constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15u;
  uint64_t h = text.size() * kMultiplier;
  const char* p = text.data();
  size_t n = text.size();
  auto mix = [&](uint64_t word) {
    h = (h ^ word) * kMultiplier;
    h ^= h >> 29;
  };
  for (; n >= 8; p += 8, n -= 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    mix(word);
  }
  if (n != 0) {
    uint64_t word = 0;
    std::memcpy(&word, p, n);
    mix(word);
  }
  h *= kMultiplier;
  return static_cast<uint32_t>(h >> 32);
}

Quarn::BindingDocument::~BindingDocument() { ::operator delete(entries_); }

void Quarn::BindingDocument::Reset() noexcept {
  arena_.Release();
  ::operator delete(entries_);
  entries_ = nullptr;
  hashes_ = nullptr;
  capacity_ = 0;
  string_count_ = 0;
}

Quarn::detail::InternedString* Quarn::BindingDocument::NewEntry(std::string_view text, uint32_t hash,
                                                                bool interned) {
  if (text.size() > UINT32_MAX - sizeof(InternedString) - 1) throw std::length_error("binding string too long");
  auto* entry = static_cast<InternedString*>(arena_.Allocate(sizeof(InternedString) + text.size() + 1));
  entry->hash = hash;
  entry->count = 1;
  entry->length = static_cast<uint32_t>(text.size());
  entry->interned = interned ? 1 : 0;
  char* bytes = reinterpret_cast<char*>(entry + 1);
  std::memcpy(bytes, text.data(), text.size());
  bytes[text.size()] = '\0';
  return entry;
}

Quarn::detail::InternedString* Quarn::BindingDocument::Intern(std::string_view text) {
  if (text.empty()) return &g_shared_empty.header;
  const uint32_t hash = detail::TextHash(text);
  if (capacity_ != 0) {
    const size_t mask = capacity_ - 1;
    for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
      InternedString* entry = entries_[slot];
      if (entry == nullptr) break;
      if (hashes_[slot] == hash && entry->length == text.size() &&
          std::memcmp(entry->text(), text.data(), text.size()) == 0) {
        ++entry->count;
        return entry;
      }
    }
  }
  // Load factor at most 3/4: grow before inserting.
  if ((string_count_ + 1) * 4 > capacity_ * 3) Grow();
  InternedString* entry = NewEntry(text, hash, true);
  const size_t mask = capacity_ - 1;
  size_t slot = hash & mask;
  while (entries_[slot] != nullptr) slot = (slot + 1) & mask;
  entries_[slot] = entry;
  hashes_[slot] = hash;
  ++string_count_;
  return entry;
}

Quarn::detail::InternedString* Quarn::BindingDocument::StoreText(std::string_view text) {
  if (text.size() <= detail::kInternedValueMax) return Intern(text);
  return NewEntry(text, 0, false);
}

void Quarn::BindingDocument::Grow() {
  const size_t capacity = capacity_ == 0 ? 8 : capacity_ * 2;
  void* block = ::operator new(capacity * (sizeof(InternedString*) + sizeof(uint32_t)));
  auto* entries = static_cast<InternedString**>(block);
  auto* hashes = reinterpret_cast<uint32_t*>(entries + capacity);
  std::fill(entries, entries + capacity, nullptr);
  const size_t mask = capacity - 1;
  for (size_t i = 0; i < capacity_; ++i) {
    if (entries_[i] == nullptr) continue;
    size_t slot = hashes_[i] & mask;
    while (entries[slot] != nullptr) slot = (slot + 1) & mask;
    entries[slot] = entries_[i];
    hashes[slot] = hashes_[i];
  }
  ::operator delete(entries_);
  entries_ = entries;
  hashes_ = hashes;
  capacity_ = capacity;
}

void Quarn::BindingDocument::Unlink(InternedString* entry) {
  const size_t mask = capacity_ - 1;
  size_t hole = entry->hash & mask;
  while (entries_[hole] != entry) hole = (hole + 1) & mask;
  // Backward-shift deletion: move later entries of the probe run into the
  // hole unless their home slot lies between the hole and them.
  for (size_t next = (hole + 1) & mask; entries_[next] != nullptr; next = (next + 1) & mask) {
    const size_t home = hashes_[next] & mask;
    if (((next - home) & mask) >= ((next - hole) & mask)) {
      entries_[hole] = entries_[next];
      hashes_[hole] = hashes_[next];
      hole = next;
    }
  }
  entries_[hole] = nullptr;
  --string_count_;
}

void Quarn::BindingDocument::Release(BindingDocument* document, detail::InternedString* entry) {
  if (entry->length == 0) return;  // the shared empty entry
  if (--entry->count != 0) return;
  if (entry->interned != 0) document->Unlink(entry);
  document->arena_.Free(entry, sizeof(InternedString) + entry->length + 1);
}

Quarn::detail::BlobRecord* Quarn::BindingDocument::NewBlob(std::span<const uint8_t> bytes) {
  auto* record = static_cast<detail::BlobRecord*>(arena_.Allocate(sizeof(detail::BlobRecord)));
  uint8_t* data = nullptr;
  if (!bytes.empty()) {
    try {
      data = static_cast<uint8_t*>(arena_.Allocate(bytes.size()));
    } catch (...) {
      arena_.Free(record, sizeof(detail::BlobRecord));
      throw;
    }
    std::memcpy(data, bytes.data(), bytes.size());
  }
  *record = {data, data + bytes.size(), data + bytes.size()};
  return record;
}

void Quarn::BindingDocument::FreeBlob(detail::BlobRecord* record) {
  arena_.Free(record->begin, static_cast<size_t>(record->capacity - record->begin));
  arena_.Free(record, sizeof(detail::BlobRecord));
}

Quarn::BindingEnumRecord* Quarn::BindingDocument::NewEnum(BindingEnumRecord value) {
  return new (arena_.Allocate(sizeof(BindingEnumRecord))) BindingEnumRecord(value);
}

void Quarn::BindingDocument::FreeEnum(BindingEnumRecord* record) {
  arena_.Free(record, sizeof(BindingEnumRecord));
}

Quarn::detail::CollectionRecord* Quarn::BindingDocument::NewCollection() {
  return new (arena_.Allocate(sizeof(CollectionRecord))) detail::CollectionRecord{nullptr, 0, 0};
}

void Quarn::BindingDocument::FreeCollection(detail::CollectionRecord* record) {
  arena_.Free(record, sizeof(CollectionRecord));
}

Quarn::detail::StructureRecord* Quarn::BindingDocument::NewStructure() {
  return new (arena_.Allocate(sizeof(StructureRecord))) detail::StructureRecord{this, nullptr, 0, 0};
}

void Quarn::BindingDocument::FreeStructure(detail::StructureRecord* record) {
  arena_.Free(record, sizeof(StructureRecord));
}

Quarn::BindingDocument* Quarn::BindingDocument::EnsureDocument(BindingProperty& value) {
  if (value.document() == nullptr) {
    auto* document = new BindingDocument();
    if ((reinterpret_cast<uintptr_t>(document) & ~BindingProperty::kPointerMask) != 0) {
      delete document;
      throw std::bad_alloc();  // an address beyond 48 bits cannot be packed
    }
    value.set_document(document);
  }
  return value.document();
}

Quarn::BindingProperty* Quarn::BindingDocument::InitChild(void* where, BindingDocument* document) {
  auto* cell = new (where) BindingProperty();
  cell->tag_ = reinterpret_cast<uintptr_t>(document);  // Empty, not owning
  return cell;
}

Quarn::BindingMember* Quarn::BindingDocument::InitMember(void* where, BindingDocument* document,
                                                         detail::InternedString* name) {
  auto* member = new (where) BindingMember();
  member->name_ = name;
  member->value_.tag_ = reinterpret_cast<uintptr_t>(document);
  return member;
}

void Quarn::BindingDocument::ClearValue(BindingProperty& value) {
  const BindingPropertyKind kind = value.kind();
  void* record = value.payload_.record;
  BindingDocument* document = value.document();
  value.set_kind(BindingPropertyKind::Empty);
  value.payload_.u = 0;
  if (!HoldsRecord(kind)) return;

  // Containers are released through an explicit stack: a tree may be far
  // deeper than the call stack allows.
  struct Pending {
    BindingPropertyKind kind;
    void* record;
  };
  SmallStack<Pending> pending;
  pending.push({kind, record});
  while (!pending.empty()) {
    const Pending item = pending.pop();
    switch (item.kind) {
      case BindingPropertyKind::String:
        Release(document, static_cast<InternedString*>(item.record));
        break;
      case BindingPropertyKind::Blob:
        document->FreeBlob(static_cast<detail::BlobRecord*>(item.record));
        break;
      case BindingPropertyKind::Enum:
        document->FreeEnum(static_cast<BindingEnumRecord*>(item.record));
        break;
      case BindingPropertyKind::Collection: {
        auto* collection = static_cast<CollectionRecord*>(item.record);
        for (size_t i = 0; i < collection->size; ++i) {
          const BindingProperty& element = collection->data[i];
          if (HoldsRecord(element.kind())) pending.push({element.kind(), element.payload_.record});
        }
        document->FreeBlock(collection->data, collection->capacity * sizeof(BindingProperty));
        document->FreeCollection(collection);
        break;
      }
      case BindingPropertyKind::Structure: {
        auto* structure = static_cast<StructureRecord*>(item.record);
        for (uint32_t i = 0; i < structure->size; ++i) {
          BindingMember& member = structure->members[i];
          Release(document, member.name_);
          const BindingProperty& element = member.value_;
          if (HoldsRecord(element.kind())) pending.push({element.kind(), element.payload_.record});
        }
        document->FreeBlock(structure->members, size_t{structure->capacity} * sizeof(BindingMember));
        document->FreeStructure(structure);
        break;
      }
      default:
        break;
    }
  }
}

void Quarn::BindingDocument::CopyValue(BindingProperty& target, const BindingProperty& source) {
  struct Pending {
    BindingProperty* target;
    const BindingProperty* source;
  };
  SmallStack<Pending> pending;
  pending.push({&target, &source});
  const BindingDocument* source_document = source.document();
  while (!pending.empty()) {
    const Pending item = pending.pop();
    BindingProperty& to = *item.target;
    const BindingProperty& from = *item.source;
    switch (from.kind()) {
      case BindingPropertyKind::Empty:
        break;
      case BindingPropertyKind::Bool:
      case BindingPropertyKind::Signed:
      case BindingPropertyKind::Unsigned:
      case BindingPropertyKind::Float:
        to.payload_ = from.payload_;
        to.set_kind(from.kind());
        break;
      case BindingPropertyKind::String: {
        auto* text = static_cast<InternedString*>(from.payload_.record);
        if (text->length == 0) {
          to.payload_.record = &g_shared_empty.header;
        } else if (source_document == to.document()) {
          Retain(text);
          to.payload_.record = text;
        } else {
          to.payload_.record = EnsureDocument(to)->StoreText(text->view());
        }
        to.set_kind(BindingPropertyKind::String);
        break;
      }
      case BindingPropertyKind::Blob: {
        const auto* blob = static_cast<const detail::BlobRecord*>(from.payload_.record);
        to.payload_.record = EnsureDocument(to)->NewBlob({blob->begin, blob->size()});
        to.set_kind(BindingPropertyKind::Blob);
        break;
      }
      case BindingPropertyKind::Enum:
        to.payload_.record =
            EnsureDocument(to)->NewEnum(*static_cast<const BindingEnumRecord*>(from.payload_.record));
        to.set_kind(BindingPropertyKind::Enum);
        break;
      case BindingPropertyKind::Collection: {
        const auto* source_record = static_cast<const CollectionRecord*>(from.payload_.record);
        BindingDocument* document = EnsureDocument(to);
        const size_t count = source_record->size;
        void* data = count == 0 ? nullptr : document->AllocateBlock(count * sizeof(BindingProperty));
        CollectionRecord* record;
        try {
          record = document->NewCollection();
        } catch (...) {
          document->FreeBlock(data, count * sizeof(BindingProperty));
          throw;
        }
        auto* cells = static_cast<BindingProperty*>(data);
        for (size_t i = 0; i < count; ++i) InitChild(cells + i, document);
        *record = {cells, count, count};
        to.payload_.record = record;
        to.set_kind(BindingPropertyKind::Collection);
        for (size_t i = count; i-- > 0;) pending.push({cells + i, source_record->data + i});
        break;
      }
      case BindingPropertyKind::Structure: {
        const auto* source_record = static_cast<const StructureRecord*>(from.payload_.record);
        BindingDocument* document = EnsureDocument(to);
        const uint32_t count = source_record->size;
        void* data = count == 0 ? nullptr : document->AllocateBlock(count * sizeof(BindingMember));
        StructureRecord* record;
        try {
          record = document->NewStructure();
        } catch (...) {
          document->FreeBlock(data, count * sizeof(BindingMember));
          throw;
        }
        auto* members = static_cast<BindingMember*>(data);
        // The record is published before any name is interned, so that a
        // failure leaves a valid (smaller) structure for the owner to clear.
        record->members = members;
        record->size = 0;
        record->capacity = count;
        to.payload_.record = record;
        to.set_kind(BindingPropertyKind::Structure);
        for (uint32_t i = 0; i < count; ++i) {
          InternedString* name = source_record->members[i].name_;
          if (source_document == document) {
            Retain(name);
          } else {
            name = document->Intern(name->view());
          }
          InitMember(members + i, document, name);
          record->size = i + 1;
        }
        for (uint32_t i = count; i-- > 0;) {
          pending.push({&members[i].value_, &source_record->members[i].value_});
        }
        break;
      }
    }
  }
}

void Quarn::BindingDocument::TransferValue(BindingProperty& target, BindingProperty& value) {
  target.payload_ = value.payload_;
  target.set_kind(value.kind());
  value.payload_.u = 0;
  value.set_kind(BindingPropertyKind::Empty);
}

bool Quarn::BindingDocument::Contains(const BindingProperty& root, const BindingProperty* node) {
  SmallStack<const BindingProperty*> pending;
  pending.push(&root);
  while (!pending.empty()) {
    const BindingProperty* item = pending.pop();
    if (item == node) return true;
    auto visit = [&](const BindingProperty* child) {
      if (child == node) return true;
      if (child->IsCollection() || child->IsStructure()) pending.push(child);
      return false;
    };
    if (item->IsCollection()) {
      const auto* record = static_cast<const CollectionRecord*>(item->payload_.record);
      for (size_t i = 0; i < record->size; ++i) {
        if (visit(record->data + i)) return true;
      }
    } else if (item->IsStructure()) {
      const auto* record = static_cast<const StructureRecord*>(item->payload_.record);
      for (uint32_t i = 0; i < record->size; ++i) {
        if (visit(&record->members[i].value_)) return true;
      }
    }
  }
  return false;
}
