// TreeBuilder: builds a value tree from a stream of reader events, making
// each collection and structure exactly once, when it closes.
//
// Values wait on a stack of raw cells; EndCollection / EndStructure turn the
// top cells into one element or member array. Strings and names are
// interned straight into the target's document. Nothing recurses, so any
// depth is safe (readers still enforce their own depth limits).
//
//   TreeBuilder builder;            // keep it: buffers are reused
//   builder.Begin(result.value);    // target cleared, must outlive the build
//   builder.BeginStructure(); builder.Key("a"); builder.Signed(1); builder.EndStructure();
//   builder.Finish();               // target now holds {"a": 1}
//
// Within one structure, a name given twice follows `DuplicateKeys`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "binding/binding_property.h"

namespace Quarn {
struct StaticType;
namespace detail {

enum class DuplicateKeys : uint8_t {
  kLastWins,  // the later value replaces the earlier one
  kMerge,     // two Structures merge (recursively), two Collections append, else the later replaces
};

class TreeBuilder {
 public:
  TreeBuilder() = default;
  ~TreeBuilder();  // drops unfinished work
  TreeBuilder(const TreeBuilder&) = delete;
  TreeBuilder& operator=(const TreeBuilder&) = delete;

  // Starts a tree in `target` (cleared now; its document is used).
  // REQUIRES: `target` outlives the build (Finish or Abandon).
  void Begin(BindingProperty& target, DuplicateKeys duplicates = DuplicateKeys::kLastWins);

  // Inside a structure each value is preceded by Key(); elsewhere Key() is
  // ignored. Text is taken up to its first NUL.
  void Key(std::string_view name);
  void Null();
  void Bool(bool v);
  void Signed(int64_t v);
  void Unsigned(uint64_t v);
  void Double(double v);
  void String(std::string_view text);
  void Blob(std::span<const uint8_t> bytes);
  void Blob(std::vector<uint8_t>&& bytes);
  void Enum(int32_t value, const StaticType& type);
  void BeginCollection();
  void EndCollection();  // REQUIRES: the innermost open container is a collection
  void BeginStructure();
  void EndStructure();  // REQUIRES: the innermost open container is a structure

  // Open containers.
  size_t depth() const { return frames_.size(); }

  // Installs the finished top-level value in the target; with no value the
  // target stays Empty, extra top-level values are dropped.
  // REQUIRES: depth() == 0.
  void Finish();
  // Drops unfinished work; the target stays Empty.
  void Abandon();

 private:
  struct Cell {
    InternedString* name;  // member name, null outside structures
    uint64_t bits;         // the value's payload
    BindingPropertyKind kind;
  };
  struct Frame {
    size_t start;          // first cell of this container
    InternedString* name;  // the container's own member name
    bool structure;
  };

  void Push(BindingPropertyKind kind, uint64_t bits);
  void ReleaseCell(const Cell& cell);
  void MergeInto(BindingProperty& target, BindingProperty& source);

  BindingProperty* target_ = nullptr;
  BindingDocument* document_ = nullptr;
  DuplicateKeys duplicates_ = DuplicateKeys::kLastWins;
  InternedString* key_ = nullptr;
  std::vector<Cell> cells_;
  std::vector<Frame> frames_;
};

}  // namespace detail
}  // namespace Quarn
