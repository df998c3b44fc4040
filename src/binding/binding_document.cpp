#include "binding/detail/binding_document.h"

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
SharedEmptyEntry g_shared_empty{{nullptr, Quarn::detail::Fnv1a(""), 0, 0}, '\0'};

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

Quarn::detail::RecordPool::~RecordPool() {
  for (void* page : pages_) ::operator delete(page);
}

void* Quarn::detail::RecordPool::Allocate() {
  if (free_ == nullptr) {
    char* page = static_cast<char*>(::operator new(kPageSize));
    pages_.push_back(page);
    // Chain the new slots so the first one is handed out first.
    const size_t slots = kPageSize / slot_size_;
    for (size_t i = slots; i-- > 0;) {
      void* slot = page + i * slot_size_;
      *static_cast<void**>(slot) = free_;
      free_ = slot;
    }
  }
  void* slot = free_;
  free_ = *static_cast<void**>(slot);
  return slot;
}

void Quarn::detail::RecordPool::Free(void* slot) {
  *static_cast<void**>(slot) = free_;
  free_ = slot;
}

Quarn::BindingDocument::BindingDocument() : buckets_(8, nullptr) {}

Quarn::BindingDocument::~BindingDocument() {
  // Entries still counted here belong to values that were dropped together
  // with the document (a root destroyed without clearing its tree).
  for (InternedString* head : buckets_) {
    while (head != nullptr) {
      InternedString* next = head->next;
      ::operator delete(head);
      head = next;
    }
  }
}

Quarn::detail::InternedString* Quarn::BindingDocument::Intern(std::string_view text) {
  if (text.empty()) return &g_shared_empty.header;
  const uint32_t hash = detail::Fnv1a(text);
  InternedString*& bucket = buckets_[hash & (buckets_.size() - 1)];
  for (InternedString* entry = bucket; entry != nullptr; entry = entry->next) {
    if (entry->hash == hash && entry->length == text.size() &&
        std::memcmp(entry->text(), text.data(), text.size()) == 0) {
      ++entry->count;
      return entry;
    }
  }
  if (text.size() > UINT32_MAX) throw std::length_error("binding string too long");
  auto* entry = static_cast<InternedString*>(::operator new(sizeof(InternedString) + text.size() + 1));
  entry->hash = hash;
  entry->count = 1;
  entry->length = static_cast<uint32_t>(text.size());
  char* bytes = reinterpret_cast<char*>(entry + 1);
  std::memcpy(bytes, text.data(), text.size());
  bytes[text.size()] = '\0';
  entry->next = bucket;
  bucket = entry;
  ++string_count_;
  if (string_count_ > buckets_.size()) Rehash(buckets_.size() * 2);  // load factor 1.0
  return entry;
}

void Quarn::BindingDocument::Retain(detail::InternedString* entry) {
  if (entry != &g_shared_empty.header) ++entry->count;
}

void Quarn::BindingDocument::Release(BindingDocument* document, detail::InternedString* entry) {
  if (entry == &g_shared_empty.header) return;
  if (--entry->count != 0) return;
  InternedString** link = &document->buckets_[entry->hash & (document->buckets_.size() - 1)];
  while (*link != entry) link = &(*link)->next;
  *link = entry->next;
  --document->string_count_;
  ::operator delete(entry);
}

void Quarn::BindingDocument::Rehash(size_t bucket_count) {
  std::vector<InternedString*> buckets(bucket_count, nullptr);
  for (InternedString* head : buckets_) {
    while (head != nullptr) {
      InternedString* next = head->next;
      InternedString*& bucket = buckets[head->hash & (bucket_count - 1)];
      head->next = bucket;
      bucket = head;
      head = next;
    }
  }
  buckets_.swap(buckets);
}

Quarn::detail::BlobRecord* Quarn::BindingDocument::NewBlob() {
  return new (blob_pool_.Allocate()) detail::BlobRecord();
}

void Quarn::BindingDocument::FreeBlob(detail::BlobRecord* record) {
  record->~vector();
  blob_pool_.Free(record);
}

Quarn::BindingEnumRecord* Quarn::BindingDocument::NewEnum(BindingEnumRecord value) {
  return new (enum_pool_.Allocate()) BindingEnumRecord(value);
}

void Quarn::BindingDocument::FreeEnum(BindingEnumRecord* record) { enum_pool_.Free(record); }

Quarn::detail::CollectionRecord* Quarn::BindingDocument::NewCollection() {
  return new (collection_pool_.Allocate()) detail::CollectionRecord{nullptr, 0, 0};
}

void Quarn::BindingDocument::FreeCollection(detail::CollectionRecord* record) {
  collection_pool_.Free(record);
}

Quarn::detail::StructureRecord* Quarn::BindingDocument::NewStructure() {
  return new (structure_pool_.Allocate()) detail::StructureRecord{this, nullptr, 0, 0};
}

void Quarn::BindingDocument::FreeStructure(detail::StructureRecord* record) { structure_pool_.Free(record); }

Quarn::BindingDocument* Quarn::BindingDocument::EnsureDocument(BindingProperty& value) {
  if (value.document_ == nullptr) value.document_ = new BindingDocument();
  return value.document_;
}

Quarn::BindingProperty* Quarn::BindingDocument::InitChild(void* where, BindingDocument* document) {
  auto* cell = new (where) BindingProperty();
  cell->document_ = document;
  cell->owns_document_ = false;
  return cell;
}

Quarn::BindingMember* Quarn::BindingDocument::InitMember(void* where, BindingDocument* document,
                                                         detail::InternedString* name) {
  auto* member = new (where) BindingMember();
  member->name_ = name;
  member->value_.document_ = document;
  member->value_.owns_document_ = false;
  return member;
}

void Quarn::BindingDocument::SetRaw(BindingProperty& value, BindingPropertyKind kind, uint64_t bits) {
  value.kind_ = kind;
  std::memcpy(&value.payload_, &bits, sizeof(bits));
}

uint64_t Quarn::BindingDocument::RawBits(const BindingProperty& value) {
  uint64_t bits;
  std::memcpy(&bits, &value.payload_, sizeof(bits));
  return bits;
}

void Quarn::BindingDocument::ClearValue(BindingProperty& value) {
  const BindingPropertyKind kind = value.kind_;
  void* record = value.payload_.record;
  BindingDocument* document = value.document_;
  value.kind_ = BindingPropertyKind::Empty;
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
          if (HoldsRecord(element.kind_)) pending.push({element.kind_, element.payload_.record});
        }
        ::operator delete(collection->data);
        document->FreeCollection(collection);
        break;
      }
      case BindingPropertyKind::Structure: {
        auto* structure = static_cast<StructureRecord*>(item.record);
        for (uint32_t i = 0; i < structure->size; ++i) {
          BindingMember& member = structure->members[i];
          Release(document, member.name_);
          const BindingProperty& element = member.value_;
          if (HoldsRecord(element.kind_)) pending.push({element.kind_, element.payload_.record});
        }
        ::operator delete(structure->members);
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
  const BindingDocument* source_document = source.document_;
  while (!pending.empty()) {
    const Pending item = pending.pop();
    BindingProperty& to = *item.target;
    const BindingProperty& from = *item.source;
    switch (from.kind_) {
      case BindingPropertyKind::Empty:
        break;
      case BindingPropertyKind::Bool:
      case BindingPropertyKind::Signed:
      case BindingPropertyKind::Unsigned:
      case BindingPropertyKind::Float:
        to.payload_ = from.payload_;
        to.kind_ = from.kind_;
        break;
      case BindingPropertyKind::String: {
        auto* text = static_cast<InternedString*>(from.payload_.record);
        if (text == &g_shared_empty.header) {
          to.payload_.record = text;
        } else if (source_document == to.document_) {
          Retain(text);
          to.payload_.record = text;
        } else {
          to.payload_.record = EnsureDocument(to)->Intern(text->view());
        }
        to.kind_ = BindingPropertyKind::String;
        break;
      }
      case BindingPropertyKind::Blob: {
        BindingDocument* document = EnsureDocument(to);
        detail::BlobRecord* blob = document->NewBlob();
        try {
          *blob = *static_cast<const detail::BlobRecord*>(from.payload_.record);
        } catch (...) {
          document->FreeBlob(blob);
          throw;
        }
        to.payload_.record = blob;
        to.kind_ = BindingPropertyKind::Blob;
        break;
      }
      case BindingPropertyKind::Enum:
        to.payload_.record =
            EnsureDocument(to)->NewEnum(*static_cast<const BindingEnumRecord*>(from.payload_.record));
        to.kind_ = BindingPropertyKind::Enum;
        break;
      case BindingPropertyKind::Collection: {
        const auto* source_record = static_cast<const CollectionRecord*>(from.payload_.record);
        BindingDocument* document = EnsureDocument(to);
        const size_t count = source_record->size;
        void* data = count == 0 ? nullptr : ::operator new(count * sizeof(BindingProperty));
        CollectionRecord* record;
        try {
          record = document->NewCollection();
        } catch (...) {
          ::operator delete(data);
          throw;
        }
        auto* cells = static_cast<BindingProperty*>(data);
        for (size_t i = 0; i < count; ++i) InitChild(cells + i, document);
        *record = {cells, count, count};
        to.payload_.record = record;
        to.kind_ = BindingPropertyKind::Collection;
        for (size_t i = count; i-- > 0;) pending.push({cells + i, source_record->data + i});
        break;
      }
      case BindingPropertyKind::Structure: {
        const auto* source_record = static_cast<const StructureRecord*>(from.payload_.record);
        BindingDocument* document = EnsureDocument(to);
        const uint32_t count = source_record->size;
        void* data = count == 0 ? nullptr : ::operator new(count * sizeof(BindingMember));
        StructureRecord* record;
        try {
          record = document->NewStructure();
        } catch (...) {
          ::operator delete(data);
          throw;
        }
        auto* members = static_cast<BindingMember*>(data);
        // Names are interned before the record is published; the members
        // stay valid (Empty) whatever happens afterwards.
        for (uint32_t i = 0; i < count; ++i) {
          InternedString* name = source_record->members[i].name_;
          if (source_document == document) {
            Retain(name);
          } else {
            name = document->Intern(name->view());
          }
          InitMember(members + i, document, name);
        }
        record->members = members;
        record->size = count;
        record->capacity = count;
        to.payload_.record = record;
        to.kind_ = BindingPropertyKind::Structure;
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
  target.kind_ = value.kind_;
  value.payload_.u = 0;
  value.kind_ = BindingPropertyKind::Empty;
}

bool Quarn::BindingDocument::Contains(const BindingProperty& root, const BindingProperty* node) {
  SmallStack<const BindingProperty*> pending;
  pending.push(&root);
  while (!pending.empty()) {
    const BindingProperty* item = pending.pop();
    if (item == node) return true;
    auto visit = [&](const BindingProperty* child) {
      if (child == node) return true;
      if (child->kind_ == BindingPropertyKind::Collection || child->kind_ == BindingPropertyKind::Structure) {
        pending.push(child);
      }
      return false;
    };
    if (item->kind_ == BindingPropertyKind::Collection) {
      const auto* record = static_cast<const CollectionRecord*>(item->payload_.record);
      for (size_t i = 0; i < record->size; ++i) {
        if (visit(record->data + i)) return true;
      }
    } else if (item->kind_ == BindingPropertyKind::Structure) {
      const auto* record = static_cast<const StructureRecord*>(item->payload_.record);
      for (uint32_t i = 0; i < record->size; ++i) {
        if (visit(&record->members[i].value_)) return true;
      }
    }
  }
  return false;
}
