// Quarn::BindingProperty: the dynamic value through which every datum
// crosses a boundary of the plug-in, and BindingResult, a value plus a
// success flag.
//
// A value is a 16-byte cell: the 64-bit payload, and one word that packs the
// document pointer (low 48 bits), the kind and the owns flag.
// Strings, blobs, enum records, collections and structures keep their data
// in the BindingDocument of their tree, owned by the root value; elements
// and members share it. References to elements and members are valid only
// while the tree is unchanged at that place and its root is alive.
//
// Trees of any depth are safe: copy, assignment and destruction walk them
// without recursion.
//
// Readers that build whole trees use detail::TreeBuilder
// (binding/detail/tree_builder.h): it makes each collection and structure
// once, when it closes. Reserve() + Append() is the cheap path for code that
// knows an element count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace Quarn {

struct StaticType;
class BindingDocument;
namespace detail {
struct InternedString;
}

enum class BindingPropertyKind : uint8_t {
  Empty = 0,
  Bool = 1,
  Signed = 2,
  Unsigned = 3,
  Float = 4,
  String = 5,
  Blob = 6,
  Enum = 7,
  Collection = 8,
  Structure = 9,
};

// "empty", "bool", ..., "structure"; "" for a code above 9.
std::string_view KindName(BindingPropertyKind kind);

struct BindingEnumRecord {
  int32_t value = 0;
  const StaticType* type = nullptr;
};

class BindingMember;

class BindingProperty {
 public:
  BindingProperty() noexcept = default;  // Empty, no document, owns its (future) document
  ~BindingProperty();
  // Deep copy into a new root with its own document.
  BindingProperty(const BindingProperty& other);
  // Takes the other's tree when it is a root; otherwise deep copy. The
  // source is left Empty.
  BindingProperty(BindingProperty&& other) noexcept;
  // Deep copy; this value keeps its document and re-interns every text.
  BindingProperty& operator=(const BindingProperty& other);
  // Swap when both are roots, else deep copy; the source is cleared.
  BindingProperty& operator=(BindingProperty&& other) noexcept;

  BindingPropertyKind kind() const { return static_cast<BindingPropertyKind>((tag_ >> kKindShift) & 0xFF); }
  bool IsEmpty() const { return kind() == BindingPropertyKind::Empty; }
  bool IsCollection() const { return kind() == BindingPropertyKind::Collection; }
  bool IsStructure() const { return kind() == BindingPropertyKind::Structure; }
  // Empty 0; scalars and Enum 1; String and Blob bytes; Collection elements;
  // Structure members.
  size_t size() const;

  // Releases what the value held; it becomes Empty.
  void Clear();

  // Setters clear the value first. Scalars never allocate.
  void SetBool(bool v);
  void SetSigned(int64_t v);
  void SetUnsigned(uint64_t v);
  void SetDouble(double v);
  void SetString(std::string_view text);  // taken up to its first NUL
  void SetBlob(std::span<const uint8_t> bytes);
  void SetBlob(std::vector<uint8_t>&& bytes);
  void SetEnum(int32_t value, const StaticType& type);
  // Leave an existing Collection / Structure unchanged; otherwise clear and
  // make an empty one.
  void MakeCollection();
  void MakeStructure();

  // Getters return the payload when the kind matches, else the default.
  bool GetBool(bool def = false) const { return kind() == BindingPropertyKind::Bool ? payload_.b : def; }
  int64_t GetSigned(int64_t def = 0) const { return kind() == BindingPropertyKind::Signed ? payload_.i : def; }
  uint64_t GetUnsigned(uint64_t def = 0) const { return kind() == BindingPropertyKind::Unsigned ? payload_.u : def; }
  double GetDouble(double def = 0.0) const { return kind() == BindingPropertyKind::Float ? payload_.d : def; }
  std::string_view GetString() const;  // "" unless String
  std::span<const uint8_t> GetBlob() const;
  BindingEnumRecord GetEnum() const;  // zero record unless Enum

  // Collection access. The writable form makes the value a Collection and
  // appends Empty elements until index i exists.
  BindingProperty& Element(size_t i);
  BindingProperty& Append();
  // The shared empty value when not a Collection or out of range.
  const BindingProperty& Element(size_t i) const;
  // Reserves room for n elements of a Collection (no effect on other kinds).
  // Throws std::length_error beyond the largest possible element count.
  void Reserve(size_t n);
  // Empty span unless a Collection.
  std::span<BindingProperty> Elements();
  std::span<const BindingProperty> Elements() const;

  // Structure access. The writable form makes the value a Structure and
  // inserts an Empty member when missing. Members are ordered by name,
  // byte by byte, unsigned.
  BindingProperty& Member(std::string_view name);
  // The shared empty value when not a Structure or no such member.
  const BindingProperty& Member(std::string_view name) const;
  // Null when not a Structure or no such member.
  const BindingProperty* FindMember(std::string_view name) const;
  BindingProperty* FindMember(std::string_view name);
  // Removes the member; false when it did not exist.
  bool EraseMember(std::string_view name);
  // Empty span unless a Structure; in name order.
  std::span<BindingMember> Members();
  std::span<const BindingMember> Members() const;

  // The process-wide empty value returned by read-only lookups. Never modified.
  static const BindingProperty& EmptyValue();

  // The tree's document, created on first use. Internal to the binding layer.
  BindingDocument* document() const { return reinterpret_cast<BindingDocument*>(tag_ & kPointerMask); }

 private:
  friend class BindingDocument;
  friend class BindingMember;

  union Payload {
    bool b;
    int64_t i;
    uint64_t u;
    double d;
    void* record;  // String: InternedString*; Blob/Enum/Collection/Structure: pool record
  };

  static constexpr unsigned kKindShift = 48;
  static constexpr uint64_t kOwnsBit = uint64_t{1} << 56;
  static constexpr uint64_t kPointerMask = (uint64_t{1} << 48) - 1;

  bool owns_document() const { return (tag_ & kOwnsBit) != 0; }
  void set_kind(BindingPropertyKind kind) {
    tag_ = (tag_ & ~(uint64_t{0xFF} << kKindShift)) | (uint64_t{static_cast<uint8_t>(kind)} << kKindShift);
  }
  void set_document(BindingDocument* document) {
    tag_ = (tag_ & ~kPointerMask) | reinterpret_cast<uintptr_t>(document);
  }
  void set_owns_document(bool owns) { tag_ = owns ? (tag_ | kOwnsBit) : (tag_ & ~kOwnsBit); }

  Payload payload_{.u = 0};
  // Document pointer in the low 48 bits (user-space addresses fit), the
  // kind in bits 48-55, the owns flag (set on a root, clear on elements and
  // members) in bit 56.
  uint64_t tag_ = kOwnsBit;
};

static_assert(sizeof(BindingProperty) == 16, "a binding cell must stay small");

// One member of a Structure: interned name plus value.
class BindingMember {
 public:
  // Members live only inside their Structure; copy the value, not the member.
  BindingMember(const BindingMember&) = delete;
  BindingMember& operator=(const BindingMember&) = delete;

  std::string_view name() const;
  BindingProperty& value() { return value_; }
  const BindingProperty& value() const { return value_; }

 private:
  friend class BindingProperty;
  friend class BindingDocument;
  BindingMember() = default;
  detail::InternedString* name_ = nullptr;
  BindingProperty value_;
};

// Lenient readers for values read without a registered type; never fail.
bool ReadBool(const BindingProperty& value);
int64_t ReadSigned(const BindingProperty& value, int64_t def);
uint64_t ReadUnsigned(const BindingProperty& value, uint64_t def);

// The status of a conversion: a value and a success flag. A failed result
// holds the Structure {"error": message}.
class BindingResult {
 public:
  BindingResult() = default;

  bool ok() const { return ok_; }
  // Clears the value, sets ok false, stores {"error": message}.
  void Fail(std::string_view message);
  // The "error" member's text; "" when ok or missing.
  std::string_view ErrorMessage() const;
  // Clears the value and sets ok.
  void Reset();

  BindingProperty value;

 private:
  bool ok_ = true;
};

}  // namespace Quarn
