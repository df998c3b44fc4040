// BindingDocument: the per-tree store behind Quarn::BindingProperty.
//
// One document belongs to one root value and is shared by every element and
// member of its tree. It holds the interned strings (reference counted,
// hashed with 32-bit FNV-1a) and four fixed-size record pools (blob, enum,
// collection, structure) that carve 4096-byte pages into equal slots.
//
// Internal to the binding layer: nothing outside src/binding includes this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "binding/binding_property.h"

namespace Quarn {
namespace detail {

// One interned text. Layout: this header, then `length` bytes and a NUL, in
// one allocation. The shared empty entry carries no count and is never freed.
struct InternedString {
  InternedString* next;  // hash-chain link
  uint32_t hash;         // FNV-1a of the bytes
  uint32_t count;        // references from values and member names
  uint32_t length;
  const char* text() const { return reinterpret_cast<const char*>(this + 1); }
  std::string_view view() const { return {text(), length}; }
};

// The process-wide entry for every text of length 0.
InternedString* SharedEmptyString();

// Record layouts, one per pool. Each fits a 24-byte slot.
struct CollectionRecord {
  BindingProperty* data;  // heap array, `capacity` cells, first `size` live
  size_t size;
  size_t capacity;
};
struct StructureRecord {
  BindingDocument* owner;
  BindingMember* members;  // heap array sorted by name, unsigned byte order
  uint32_t size;
  uint32_t capacity;
};
using BlobRecord = std::vector<uint8_t>;  // constructed in place in its slot
static_assert(sizeof(CollectionRecord) == 24 && sizeof(StructureRecord) == 24 && sizeof(BlobRecord) <= 24 &&
              sizeof(BindingEnumRecord) == 16);

// Fixed-size slots carved from 4096-byte pages; free slots are chained
// through their first word. Pages are returned only when the pool dies.
class RecordPool {
 public:
  explicit RecordPool(size_t slot_size) : slot_size_(slot_size) {}
  ~RecordPool();
  RecordPool(const RecordPool&) = delete;
  RecordPool& operator=(const RecordPool&) = delete;

  void* Allocate();
  void Free(void* slot);
  size_t page_count() const { return pages_.size(); }

  static constexpr size_t kPageSize = 4096;

 private:
  size_t slot_size_;
  void* free_ = nullptr;
  std::vector<void*> pages_;
};

}  // namespace detail

class BindingDocument {
 public:
  BindingDocument();
  ~BindingDocument();
  BindingDocument(const BindingDocument&) = delete;
  BindingDocument& operator=(const BindingDocument&) = delete;

  // Interns `text` (already cut at its first NUL) and counts one reference.
  // Text of length 0 gives the shared empty entry.
  detail::InternedString* Intern(std::string_view text);
  // Counts one more reference to an entry of this document.
  static void Retain(detail::InternedString* entry);
  // Drops one reference; the entry is erased at 0. The shared empty entry is
  // ignored, so `document` may be null for it.
  static void Release(BindingDocument* document, detail::InternedString* entry);
  // Number of distinct interned texts (the shared empty entry excluded).
  size_t string_count() const { return string_count_; }

  detail::BlobRecord* NewBlob();  // an empty byte vector
  void FreeBlob(detail::BlobRecord* record);
  BindingEnumRecord* NewEnum(BindingEnumRecord value);
  void FreeEnum(BindingEnumRecord* record);
  detail::CollectionRecord* NewCollection();
  void FreeCollection(detail::CollectionRecord* record);  // record only
  detail::StructureRecord* NewStructure();
  void FreeStructure(detail::StructureRecord* record);  // record only

  // Tree algorithms. All of them are iterative, so depth is unlimited.

  // Releases everything `value` holds; it becomes Empty (document kept).
  static void ClearValue(BindingProperty& value);
  // Deep copy of `source` into `target`.
  // REQUIRES: target is Empty; target is not inside source's tree.
  static void CopyValue(BindingProperty& target, const BindingProperty& source);
  // Hands `value`'s content to `target` without copying; `value` becomes
  // Empty. REQUIRES: target Empty, both share one document.
  static void TransferValue(BindingProperty& target, BindingProperty& value);
  // True when `node` is `root` or lies in its subtree.
  static bool Contains(const BindingProperty& root, const BindingProperty* node);
  // Creates the document of a root value when it has none yet.
  static BindingDocument* EnsureDocument(BindingProperty& value);
  // Placement-constructs an Empty non-root cell of `document` at `where`.
  static BindingProperty* InitChild(void* where, BindingDocument* document);
  static BindingMember* InitMember(void* where, BindingDocument* document, detail::InternedString* name);

  // Raw cell access for the tree builder.
  static void SetRaw(BindingProperty& value, BindingPropertyKind kind, uint64_t bits);
  static uint64_t RawBits(const BindingProperty& value);
  static void* Record(const BindingProperty& value) { return value.payload_.record; }

 private:
  void Rehash(size_t bucket_count);

  std::vector<detail::InternedString*> buckets_;
  size_t string_count_ = 0;
  detail::RecordPool blob_pool_{sizeof(detail::BlobRecord)};
  detail::RecordPool enum_pool_{sizeof(BindingEnumRecord)};
  detail::RecordPool collection_pool_{sizeof(detail::CollectionRecord)};
  detail::RecordPool structure_pool_{sizeof(detail::StructureRecord)};
};

}  // namespace Quarn
