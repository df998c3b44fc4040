// BindingDocument: the per-tree store behind Quarn::BindingProperty.
//
// One document belongs to one root value and is shared by every element and
// member of its tree. Everything the tree holds (texts, blob bytes, element
// and member arrays, records) comes from the document's arena, so
// destroying the document frees the tree without visiting it.
//
// Member names and short string values are interned in an open-addressed
// table (hash stored beside each entry) and reference counted; longer
// string values are stored once per value, counted the same way but kept
// out of the table: they rarely repeat, and hashing them costs more than
// it saves.
//
// Internal to the binding layer: nothing outside src/binding includes this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "binding/binding_property.h"
#include "binding/detail/document_arena.h"

namespace Quarn {
namespace detail {

// One stored text. Layout: this header, then `length` bytes and a NUL, in
// one arena block. The shared empty entry carries no count and is never freed.
struct InternedString {
  uint32_t hash;    // table hash (interned entries only)
  uint32_t count;   // references from values and member names
  uint32_t length;
  uint32_t interned;  // 1 when the entry is in the document's table
  const char* text() const { return reinterpret_cast<const char*>(this + 1); }
  std::string_view view() const { return {text(), length}; }
};

// The process-wide entry for every text of length 0.
InternedString* SharedEmptyString();

// String values up to this many bytes are interned.
inline constexpr size_t kInternedValueMax = 16;

// Hash of the table: eight bytes at a time.
uint32_t TextHash(std::string_view text);

// Record layouts.
struct CollectionRecord {
  BindingProperty* data;  // arena array, `capacity` cells, first `size` live
  size_t size;
  size_t capacity;
};
struct StructureRecord {
  BindingDocument* owner;
  BindingMember* members;  // arena array sorted by name, unsigned byte order
  uint32_t size;
  uint32_t capacity;
};
struct BlobRecord {
  uint8_t* begin;  // arena bytes
  uint8_t* end;
  uint8_t* capacity;
  size_t size() const { return static_cast<size_t>(end - begin); }
};
static_assert(sizeof(CollectionRecord) == 24 && sizeof(StructureRecord) == 24 && sizeof(BlobRecord) == 24 &&
              sizeof(BindingEnumRecord) == 16);

}  // namespace detail

class BindingDocument {
 public:
  BindingDocument() noexcept = default;
  ~BindingDocument();
  BindingDocument(const BindingDocument&) = delete;
  BindingDocument& operator=(const BindingDocument&) = delete;

  // Interns `text` (already cut at its first NUL) and counts one reference.
  // Text of length 0 gives the shared empty entry.
  detail::InternedString* Intern(std::string_view text);
  // A string value: interned when short, else a counted entry of its own.
  detail::InternedString* StoreText(std::string_view text);
  // Counts one more reference to an entry of this document.
  static void Retain(detail::InternedString* entry) {
    if (entry->length != 0) ++entry->count;
  }
  // Drops one reference; the entry is erased at 0. The shared empty entry is
  // ignored, so `document` may be null for it.
  static void Release(BindingDocument* document, detail::InternedString* entry);
  // Number of distinct interned texts (the shared empty entry excluded).
  size_t string_count() const { return string_count_; }

  detail::BlobRecord* NewBlob(std::span<const uint8_t> bytes);
  void FreeBlob(detail::BlobRecord* record);
  BindingEnumRecord* NewEnum(BindingEnumRecord value);
  void FreeEnum(BindingEnumRecord* record);
  detail::CollectionRecord* NewCollection();
  void FreeCollection(detail::CollectionRecord* record);  // record only
  detail::StructureRecord* NewStructure();
  void FreeStructure(detail::StructureRecord* record);  // record only

  // Element and member arrays (and any other block) from the arena.
  void* AllocateBlock(size_t bytes) { return arena_.Allocate(bytes); }
  void FreeBlock(void* block, size_t bytes) { arena_.Free(block, bytes); }

  // Frees the whole tree at once. REQUIRES: nothing of it is used again.
  void Reset() noexcept;

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
  static void SetRaw(BindingProperty& value, BindingPropertyKind kind, uint64_t bits) {
    value.set_kind(kind);
    value.payload_.u = bits;
  }
  static uint64_t RawBits(const BindingProperty& value) { return value.payload_.u; }
  static void* Record(const BindingProperty& value) { return value.payload_.record; }
  static detail::InternedString* NameOf(const BindingMember& member) { return member.name_; }

 private:
  detail::InternedString* NewEntry(std::string_view text, uint32_t hash, bool interned);
  void Unlink(detail::InternedString* entry);
  void Grow();

  detail::DocumentArena arena_;
  // Open addressing with linear probing; a slot is empty when its entry is
  // null. Both arrays live in one heap block of `capacity_` slots.
  detail::InternedString** entries_ = nullptr;
  uint32_t* hashes_ = nullptr;
  size_t capacity_ = 0;
  size_t string_count_ = 0;
};

}  // namespace Quarn
