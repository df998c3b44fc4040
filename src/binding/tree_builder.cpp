#include "binding/detail/tree_builder.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include "binding/detail/binding_document.h"
#include "binding/static_type.h"

namespace {

using Quarn::BindingDocument;
using Quarn::BindingMember;
using Quarn::BindingProperty;
using Quarn::BindingPropertyKind;
using Quarn::detail::CollectionRecord;
using Quarn::detail::StructureRecord;

using Quarn::detail::InternedString;

uint64_t PointerBits(const void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }

// Unsigned byte order, a prefix first.
bool NameLess(const InternedString* a, const InternedString* b) {
  const size_t common = std::min(a->length, b->length);
  const int c = common == 0 ? 0 : std::memcmp(a->text(), b->text(), common);
  return c < 0 || (c == 0 && a->length < b->length);
}

// The first 8 bytes of a name as a big-endian number, zero-padded: two
// names with different prefixes compare as NameLess compares them (a
// shorter name pads with 0, below any byte it could be compared with).
uint64_t NamePrefix(const InternedString* name) {
  unsigned char bytes[8] = {};
  std::memcpy(bytes, name->text(), std::min<size_t>(name->length, sizeof(bytes)));
  uint64_t prefix = 0;
  for (const unsigned char byte : bytes) prefix = prefix << 8 | byte;
  return prefix;
}

// Keys are short: a loop beats a call to memcmp.
bool SameText(const char* a, const char* b, size_t size) {
  if (size > 32) return std::memcmp(a, b, size) == 0;
  for (size_t i = 0; i < size; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// Structures of at most this many members are sorted by insertion.
constexpr size_t kInsertionSortMax = 16;
// Predictions are kept for this many levels and keys per structure.
constexpr size_t kPredictedDepth = 64;
constexpr size_t kPredictedKeys = 64;
// What a builder keeps between builds: 8192 cells (192 KiB), 4096 frames.
constexpr size_t kKeptCells = 8192;
constexpr size_t kKeptFrames = 4096;

std::string_view CutAtNul(std::string_view text) {
  const size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

// A non-root cell on the C++ stack, used to hand a raw payload to the
// value algorithms. Empty again (and owning nothing) when it goes away.
class DetachedCell {
 public:
  explicit DetachedCell(BindingDocument* document) : cell_(BindingDocument::InitChild(storage_, document)) {}
  ~DetachedCell() { BindingDocument::ClearValue(*cell_); }
  BindingProperty& operator*() { return *cell_; }

 private:
  alignas(BindingProperty) unsigned char storage_[sizeof(BindingProperty)];
  BindingProperty* cell_;
};

}  // namespace

Quarn::detail::TreeBuilder::~TreeBuilder() { Abandon(); }

namespace {
Quarn::detail::ScratchPool<Quarn::detail::TreeBuilder>& Builders() {
  static Quarn::detail::ScratchPool<Quarn::detail::TreeBuilder> pool;
  return pool;
}
}  // namespace

Quarn::detail::TreeBuilder::Scope::Scope(BindingProperty& target, DuplicateKeys duplicates) : lease_(Builders()) {
  lease_->Begin(target, duplicates);
}

Quarn::detail::TreeBuilder::Scope::~Scope() {
  lease_->Abandon();
  lease_->Trim();
}

void Quarn::detail::TreeBuilder::Begin(BindingProperty& target, DuplicateKeys duplicates) {
  Abandon();
  target.Clear();
  target_ = &target;
  document_ = BindingDocument::EnsureDocument(target);
  duplicates_ = duplicates;
  merged_ = false;
  cut_at_nul_ = true;
}

std::string_view Quarn::detail::TreeBuilder::Cut(std::string_view text) const {
  return cut_at_nul_ ? CutAtNul(text) : text;
}

void Quarn::detail::TreeBuilder::Key(std::string_view name) {
  if (frames_.empty() || !frames_.back().structure) return;
  name = Cut(name);
  Frame& frame = frames_.back();
  const size_t depth = frames_.size() - 1;
  const uint32_t position = frame.keys++;
  InternedString* entry = nullptr;
  // The sibling before this one usually had the same key here: one
  // comparison instead of a hash and a table probe.
  if (depth < predicted_.size() && position < predicted_[depth].keys.size()) {
    InternedString* guess = predicted_[depth].keys[position];
    if (guess->length == name.size() && SameText(guess->text(), name.data(), name.size())) {
      BindingDocument::Retain(guess);
      entry = guess;
    }
  }
  if (entry == nullptr) entry = document_->Intern(name);
  if (key_ != nullptr) BindingDocument::Release(document_, key_);
  key_ = entry;
}

Quarn::detail::InternedString* Quarn::detail::TreeBuilder::TakeKey() {
  InternedString* name = nullptr;
  if (!frames_.empty() && frames_.back().structure) {
    name = key_ != nullptr ? key_ : SharedEmptyString();
  } else if (key_ != nullptr) {
    BindingDocument::Release(document_, key_);
  }
  key_ = nullptr;
  return name;
}

void Quarn::detail::TreeBuilder::PushSlow(BindingPropertyKind kind, uint64_t bits) {
  InternedString* name = TakeKey();
  const auto order = static_cast<uint32_t>(frames_.empty() ? 0 : cells_.size() - frames_.back().start);
  try {
    cells_.push_back({name, bits, order, kind});
  } catch (...) {
    ReleaseCell({name, bits, order, kind});
    throw;
  }
}

void Quarn::detail::TreeBuilder::String(std::string_view text) {
  Push(BindingPropertyKind::String, PointerBits(document_->StoreText(Cut(text))));
}

void Quarn::detail::TreeBuilder::Blob(std::span<const uint8_t> bytes) {
  Push(BindingPropertyKind::Blob, PointerBits(document_->NewBlob(bytes)));
}

void Quarn::detail::TreeBuilder::Blob(std::vector<uint8_t>&& bytes) {
  Blob(std::span<const uint8_t>(bytes.data(), bytes.size()));
}

void Quarn::detail::TreeBuilder::Enum(int32_t value, const StaticType& type) {
  Push(BindingPropertyKind::Enum, PointerBits(document_->NewEnum({value, &type})));
}

void Quarn::detail::TreeBuilder::BeginCollection() {
  InternedString* name = TakeKey();
  try {
    frames_.push_back({cells_.size(), name, 0, false});
  } catch (...) {
    if (name != nullptr) BindingDocument::Release(document_, name);
    throw;
  }
}

void Quarn::detail::TreeBuilder::BeginStructure() {
  BeginCollection();
  frames_.back().structure = true;
}

void Quarn::detail::TreeBuilder::EndCollection() {
  const Frame frame = frames_.back();
  const size_t count = cells_.size() - frame.start;
  const size_t bytes = count * sizeof(BindingProperty);
  void* data = count == 0 ? nullptr : document_->AllocateBlock(bytes);
  CollectionRecord* record;
  try {
    record = document_->NewCollection();
  } catch (...) {
    document_->FreeBlock(data, bytes);
    throw;
  }
  auto* elements = static_cast<BindingProperty*>(data);
  for (size_t i = 0; i < count; ++i) {
    const Cell& cell = cells_[frame.start + i];
    BindingDocument::SetRaw(*BindingDocument::InitChild(elements + i, document_), cell.kind, cell.bits);
    if (cell.name != nullptr) BindingDocument::Release(document_, cell.name);
  }
  *record = {elements, count, count};
  cells_.resize(frame.start);
  frames_.pop_back();
  const auto order = static_cast<uint32_t>(frames_.empty() ? 0 : cells_.size() - frames_.back().start);
  cells_.push_back({frame.name, PointerBits(record), order, BindingPropertyKind::Collection});  // no growth
}

bool Quarn::detail::TreeBuilder::Remember(size_t depth, size_t start) {
  const size_t count = cells_.size() - start;
  if (depth >= kPredictedDepth || count > kPredictedKeys) return false;
  if (predicted_.size() <= depth) predicted_.resize(depth + 1);
  Prediction& prediction = predicted_[depth];
  std::vector<InternedString*>& keys = prediction.keys;
  bool same = count <= prediction.in_order;
  for (size_t i = 0; i < count; ++i) {
    InternedString* name = cells_[start + i].name;
    if (i < keys.size()) {
      if (keys[i] == name) continue;
      BindingDocument::Release(document_, keys[i]);
      keys[i] = name;
    } else {
      keys.push_back(name);
    }
    BindingDocument::Retain(name);
    same = false;
  }
  if (same) return true;
  // Known again once SortMembers has looked.
  prediction.in_order = 0;
  return false;
}

void Quarn::detail::TreeBuilder::ReleasePredictions() {
  for (Prediction& prediction : predicted_) {
    for (InternedString* name : prediction.keys) BindingDocument::Release(document_, name);
    prediction.keys.clear();
    prediction.in_order = 0;
  }
}

bool Quarn::detail::TreeBuilder::SortMembers(size_t start) {
  const auto begin = cells_.begin() + static_cast<ptrdiff_t>(start);
  const auto end = cells_.end();
  // Members usually arrive sorted, or almost.
  bool sorted = true;
  for (auto it = begin; it != end && it + 1 != end; ++it) {
    if (it[0].name != it[1].name && NameLess(it[1].name, it[0].name)) {
      sorted = false;
      break;
    }
  }
  if (sorted) return true;
  if (end - begin <= static_cast<ptrdiff_t>(kInsertionSortMax)) {
    // Stable: among equal names the order of arrival decides.
    for (auto it = begin + 1; it != end; ++it) {
      const Cell cell = *it;
      auto hole = it;
      for (; hole != begin && NameLess(cell.name, hole[-1].name); --hole) *hole = hole[-1];
      *hole = cell;
    }
    return false;
  }
  // Large objects sort on each name's first 8 bytes, read once into the
  // kept buffer, so that most comparisons do not follow the name pointer.
  // Equal names (one interned entry) keep their order of arrival through
  // `order`, so the unstable sort is stable here.
  sort_buffer_.clear();
  sort_buffer_.reserve(static_cast<size_t>(end - begin));
  for (auto it = begin; it != end; ++it) sort_buffer_.push_back({NamePrefix(it->name), *it});
  std::sort(sort_buffer_.begin(), sort_buffer_.end(), [](const PrefixedCell& a, const PrefixedCell& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    if (a.cell.name == b.cell.name) return a.cell.order < b.cell.order;
    return NameLess(a.cell.name, b.cell.name);
  });
  for (size_t i = 0; i < sort_buffer_.size(); ++i) begin[static_cast<ptrdiff_t>(i)] = sort_buffer_[i].cell;
  return false;
}

void Quarn::detail::TreeBuilder::EndStructure() {
  const Frame frame = frames_.back();
  const size_t count = cells_.size() - frame.start;
  if (count > UINT32_MAX) throw std::length_error("binding structure too large");
  const size_t depth = frames_.size() - 1;
  if (!Remember(depth, frame.start) && SortMembers(frame.start) && depth < predicted_.size() &&
      count <= kPredictedKeys) {
    predicted_[depth].in_order = count;
  }
  const size_t bytes = count * sizeof(BindingMember);
  void* data = count == 0 ? nullptr : document_->AllocateBlock(bytes);
  StructureRecord* record;
  try {
    record = document_->NewStructure();
  } catch (...) {
    document_->FreeBlock(data, bytes);
    throw;
  }
  auto* members = static_cast<BindingMember*>(data);
  record->members = members;
  record->size = 0;
  record->capacity = static_cast<uint32_t>(count);
  // The record is reachable only once this loop ends: if a merge throws,
  // cells_ still owns each value once and Abandon releases it.
  size_t i = frame.start;
  uint32_t written = 0;
  while (i < cells_.size()) {
    size_t next = i + 1;
    while (next < cells_.size() && cells_[next].name == cells_[i].name) ++next;  // interned: same entry
    if (next - i > 1) merged_ = true;
    if (duplicates_ == DuplicateKeys::kLastWins) {
      for (size_t k = i; k + 1 < next; ++k) {
        ReleaseCell(cells_[k]);
        cells_[k] = {nullptr, 0, 0, BindingPropertyKind::Empty};
      }
      const Cell& last = cells_[next - 1];
      BindingMember* member = BindingDocument::InitMember(members + written++, document_, last.name);
      BindingDocument::SetRaw(member->value(), last.kind, last.bits);
      i = next;
      continue;
    }
    BindingMember* member = BindingDocument::InitMember(members + written++, document_, cells_[i].name);
    BindingDocument::SetRaw(member->value(), cells_[i].kind, cells_[i].bits);
    for (size_t k = i + 1; k < next; ++k) {
      // Rare: a key given twice. Fold the later value in, in arrival order.
      DetachedCell value(document_);
      BindingDocument::SetRaw(*value, cells_[k].kind, cells_[k].bits);
      BindingDocument::Release(document_, cells_[k].name);
      cells_[k] = {nullptr, 0, 0, BindingPropertyKind::Empty};  // owned by `value` now
      MergeInto(member->value(), *value);
    }
    i = next;
  }
  record->size = written;
  cells_.resize(frame.start);
  frames_.pop_back();
  const auto order = static_cast<uint32_t>(frames_.empty() ? 0 : cells_.size() - frames_.back().start);
  cells_.push_back({frame.name, PointerBits(record), order, BindingPropertyKind::Structure});  // no growth
}

void Quarn::detail::TreeBuilder::MergeInto(BindingProperty& target, BindingProperty& source) {
  // Iterative: duplicate names can nest as deep as the input does.
  std::vector<std::pair<BindingProperty*, BindingProperty*>> pending{{&target, &source}};
  while (!pending.empty()) {
    auto [to, from] = pending.back();
    pending.pop_back();
    const bool overlay = duplicates_ == DuplicateKeys::kOverlay;
    if (overlay && from->IsEmpty()) continue;
    if (overlay && to->IsCollection() && from->IsCollection()) {
      OverlayElements(*to, *from, pending);
      continue;
    }
    if (to->IsCollection() && from->IsCollection()) {
      // Append: one move of the later elements behind the earlier ones.
      auto* into = static_cast<CollectionRecord*>(BindingDocument::Record(*to));
      auto* taken = static_cast<CollectionRecord*>(BindingDocument::Record(*from));
      const size_t size = into->size + taken->size;
      if (size > into->capacity) {
        auto* data = static_cast<BindingProperty*>(document_->AllocateBlock(size * sizeof(BindingProperty)));
        if (into->size != 0) std::memcpy(static_cast<void*>(data), into->data, into->size * sizeof(BindingProperty));
        document_->FreeBlock(into->data, into->capacity * sizeof(BindingProperty));
        into->data = data;
        into->capacity = size;
      }
      if (taken->size != 0) {
        std::memcpy(static_cast<void*>(into->data + into->size), taken->data, taken->size * sizeof(BindingProperty));
      }
      into->size = size;
      taken->size = 0;  // its elements belong to `to` now
      continue;
    }
    if (!to->IsStructure() || !from->IsStructure()) {
      BindingDocument::ClearValue(*to);
      BindingDocument::TransferValue(*to, *from);
      continue;
    }
    MergeStructures(*to, *from, pending);
  }
  // What is left of `source` is empty shells and names; its owner clears them.
}

void Quarn::detail::TreeBuilder::MergeStructures(
    BindingProperty& target, BindingProperty& source,
    std::vector<std::pair<BindingProperty*, BindingProperty*>>& pending) {
  // Both member arrays are sorted: one pass merges them into a new array.
  auto* into = static_cast<StructureRecord*>(BindingDocument::Record(target));
  auto* taken = static_cast<StructureRecord*>(BindingDocument::Record(source));
  const size_t n = into->size;
  const size_t m = taken->size;
  if (m == 0) return;
  if (n + m > UINT32_MAX) throw std::length_error("binding structure too large");
  // Nothing below throws once these two succeed.
  pending.reserve(pending.size() + std::min(n, m));
  auto* merged = static_cast<BindingMember*>(document_->AllocateBlock((n + m) * sizeof(BindingMember)));
  const BindingMember* old = into->members;
  BindingMember* later = taken->members;
  size_t i = 0;
  size_t j = 0;
  size_t w = 0;
  while (i < n || j < m) {
    const bool take_old = j == m || (i < n && BindingDocument::NameOf(old[i]) != BindingDocument::NameOf(later[j]) && NameLess(BindingDocument::NameOf(old[i]), BindingDocument::NameOf(later[j])));
    const bool take_later = !take_old && (i == n || (BindingDocument::NameOf(old[i]) != BindingDocument::NameOf(later[j])));
    BindingMember* slot = merged + w++;
    if (take_old) {
      std::memcpy(static_cast<void*>(slot), &old[i++], sizeof(BindingMember));
      continue;
    }
    if (take_later) {
      BindingDocument::Retain(BindingDocument::NameOf(later[j]));  // the source still releases its own
      BindingDocument::InitMember(slot, document_, BindingDocument::NameOf(later[j]));
      BindingDocument::TransferValue(slot->value(), later[j++].value());
      continue;
    }
    std::memcpy(static_cast<void*>(slot), &old[i++], sizeof(BindingMember));
    BindingProperty& from = later[j++].value();
    BindingProperty& to = slot->value();
    if (duplicates_ == DuplicateKeys::kOverlay || (to.IsStructure() && from.IsStructure()) ||
        (to.IsCollection() && from.IsCollection())) {
      pending.push_back({&to, &from});
    } else {
      BindingDocument::ClearValue(to);
      BindingDocument::TransferValue(to, from);
    }
  }
  document_->FreeBlock(into->members, size_t{into->capacity} * sizeof(BindingMember));
  into->members = merged;
  into->size = static_cast<uint32_t>(w);
  into->capacity = static_cast<uint32_t>(n + m);
}

void Quarn::detail::TreeBuilder::OverlayElements(
    BindingProperty& target, BindingProperty& source,
    std::vector<std::pair<BindingProperty*, BindingProperty*>>& pending) {
  auto* into = static_cast<CollectionRecord*>(BindingDocument::Record(target));
  auto* taken = static_cast<CollectionRecord*>(BindingDocument::Record(source));
  const size_t common = std::min(into->size, taken->size);
  // Nothing below throws once these succeed.
  pending.reserve(pending.size() + common);
  if (taken->size > into->capacity) {
    const size_t bytes = taken->size * sizeof(BindingProperty);
    auto* data = static_cast<BindingProperty*>(document_->AllocateBlock(bytes));
    if (into->size != 0) std::memcpy(static_cast<void*>(data), into->data, into->size * sizeof(BindingProperty));
    document_->FreeBlock(into->data, into->capacity * sizeof(BindingProperty));
    into->data = data;
    into->capacity = taken->size;
  }
  for (size_t i = taken->size; i-- > common;) {
    BindingDocument::InitChild(into->data + i, document_);
    BindingDocument::TransferValue(into->data[i], taken->data[i]);
  }
  if (taken->size > into->size) into->size = taken->size;
  for (size_t i = common; i-- > 0;) pending.push_back({into->data + i, taken->data + i});
}

void Quarn::detail::TreeBuilder::ReleaseCell(const Cell& cell) {
  if (cell.name != nullptr) BindingDocument::Release(document_, cell.name);
  DetachedCell value(document_);
  BindingDocument::SetRaw(*value, cell.kind, cell.bits);
}

bool Quarn::detail::TreeBuilder::HasTopLevel(bool* empty) const {
  if (!frames_.empty() || cells_.empty()) return false;
  if (empty != nullptr) *empty = cells_.front().kind == BindingPropertyKind::Empty;
  return true;
}

void Quarn::detail::TreeBuilder::DropTopLevel() {
  for (const Cell& cell : cells_) ReleaseCell(cell);
  cells_.clear();
}

void Quarn::detail::TreeBuilder::Finish() {
  if (target_ == nullptr) return;
  if (!cells_.empty()) {
    const Cell top = cells_.front();
    if (top.name != nullptr) BindingDocument::Release(document_, top.name);
    BindingDocument::SetRaw(*target_, top.kind, top.bits);
    for (size_t i = 1; i < cells_.size(); ++i) ReleaseCell(cells_[i]);
    cells_.clear();
  }
  Abandon();
}

void Quarn::detail::TreeBuilder::Abandon() {
  if (document_ != nullptr) {
    for (const Cell& cell : cells_) ReleaseCell(cell);
    for (const Frame& frame : frames_) {
      if (frame.name != nullptr) BindingDocument::Release(document_, frame.name);
    }
    if (key_ != nullptr) BindingDocument::Release(document_, key_);
    ReleasePredictions();
  }
  cells_.clear();
  frames_.clear();
  key_ = nullptr;
  target_ = nullptr;
  document_ = nullptr;
}

void Quarn::detail::TreeBuilder::Trim() {
  if (target_ != nullptr) return;
  if (cells_.capacity() > kKeptCells) std::vector<Cell>().swap(cells_);
  if (frames_.capacity() > kKeptFrames) std::vector<Frame>().swap(frames_);
  if (sort_buffer_.capacity() > kKeptCells) std::vector<PrefixedCell>().swap(sort_buffer_);
}
