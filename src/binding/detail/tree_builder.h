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
//
// Readers lease a builder from a shared pool through a TreeBuilder::Scope,
// which drops unfinished work when the read leaves by an exception and
// trims the buffers after a large document.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "binding/binding_property.h"
#include "binding/detail/scratch_pool.h"

namespace Quarn {
struct StaticType;
namespace detail {

enum class DuplicateKeys : uint8_t {
  kLastWins,  // the later value replaces the earlier one
  kMerge,     // two Structures merge (recursively), two Collections append, else the later replaces
  // Structures merge by name and Collections by index (recursively), a
  // later Empty leaves the earlier value, anything else replaces it.
  kOverlay,
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

  // The reader knows that no text of this build holds a NUL byte: texts
  // are then taken whole, without a scan. Until the next Begin.
  void TextsHoldNoNul() { cut_at_nul_ = false; }

  // Inside a structure each value is preceded by Key(); elsewhere Key() is
  // ignored. Text is taken up to its first NUL.
  void Key(std::string_view name);
  void Null() { Push(BindingPropertyKind::Empty, 0); }
  void Bool(bool v) { Push(BindingPropertyKind::Bool, v ? 1 : 0); }
  void Signed(int64_t v) { Push(BindingPropertyKind::Signed, static_cast<uint64_t>(v)); }
  void Unsigned(uint64_t v) { Push(BindingPropertyKind::Unsigned, v); }
  void Double(double v) { Push(BindingPropertyKind::Float, std::bit_cast<uint64_t>(v)); }
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
  // True once a structure of this build held a name twice.
  bool merged() const { return merged_; }
  // True when a finished top-level value is waiting; `empty` tells whether
  // it is Empty.
  bool HasTopLevel(bool* empty = nullptr) const;
  // Drops the finished top-level values. REQUIRES: depth() == 0.
  void DropTopLevel();

  // Installs the finished top-level value in the target; with no value the
  // target stays Empty, extra top-level values are dropped.
  // REQUIRES: depth() == 0.
  void Finish();
  // Drops unfinished work; the target stays Empty.
  void Abandon();
  // Returns the buffers that a large document left behind.
  void Trim();

  // One build on a pooled builder: Begin now, Abandon and Trim when the
  // scope ends (a no-op after Finish), whether it ends normally or by an
  // exception.
  class Scope {
   public:
    Scope(BindingProperty& target, DuplicateKeys duplicates);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
    TreeBuilder& builder() { return *lease_; }

   private:
    ScratchPool<TreeBuilder>::Lease lease_;
  };

 private:
  struct Cell {
    InternedString* name;  // member name, null outside structures
    uint64_t bits;         // the value's payload
    uint32_t order;        // arrival within its structure, for a stable sort
    BindingPropertyKind kind;
  };
  struct Frame {
    size_t start;          // first cell of this container
    InternedString* name;  // the container's own member name
    uint32_t keys;         // keys seen so far (structures)
    bool structure;
  };

  std::string_view Cut(std::string_view text) const;
  InternedString* TakeKey();
  // Inline for the common case (a value inside a container, after its key
  // in a structure, with room in cells_); everything else takes PushSlow.
  void Push(BindingPropertyKind kind, uint64_t bits) {
    if (!frames_.empty() && frames_.back().structure == (key_ != nullptr) && cells_.size() < cells_.capacity()) {
      const auto order = static_cast<uint32_t>(cells_.size() - frames_.back().start);
      cells_.push_back({key_, bits, order, kind});
      key_ = nullptr;
      return;
    }
    PushSlow(kind, bits);
  }
  void PushSlow(BindingPropertyKind kind, uint64_t bits);
  void ReleaseCell(const Cell& cell);
  // Returns whether the members had arrived in order.
  bool SortMembers(size_t start);
  // Returns whether the members are known to be in order: the same names,
  // in the same order, as a sibling whose members arrived in order.
  bool Remember(size_t depth, size_t start);
  void ReleasePredictions();
  void MergeInto(BindingProperty& target, BindingProperty& source);
  void MergeStructures(BindingProperty& target, BindingProperty& source,
                       std::vector<std::pair<BindingProperty*, BindingProperty*>>& pending);
  void OverlayElements(BindingProperty& target, BindingProperty& source,
                       std::vector<std::pair<BindingProperty*, BindingProperty*>>& pending);

  BindingProperty* target_ = nullptr;
  BindingDocument* document_ = nullptr;
  DuplicateKeys duplicates_ = DuplicateKeys::kLastWins;
  bool merged_ = false;
  bool cut_at_nul_ = true;
  InternedString* key_ = nullptr;
  std::vector<Cell> cells_;
  struct PrefixedCell {
    uint64_t prefix;
    Cell cell;
  };
  std::vector<PrefixedCell> sort_buffer_;  // sorting a large structure
  std::vector<Frame> frames_;
  // Per depth, the keys of the structure that closed last there, in
  // arrival order (each counted once): sibling objects usually repeat them.
  // The first `in_order` of them arrived sorted.
  struct Prediction {
    std::vector<InternedString*> keys;
    size_t in_order = 0;
  };
  std::vector<Prediction> predicted_;
};

}  // namespace detail
}  // namespace Quarn
