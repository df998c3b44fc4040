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

uint64_t PointerBits(const void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }

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

void Quarn::detail::TreeBuilder::Begin(BindingProperty& target, DuplicateKeys duplicates) {
  Abandon();
  target.Clear();
  target_ = &target;
  document_ = BindingDocument::EnsureDocument(target);
  duplicates_ = duplicates;
}

void Quarn::detail::TreeBuilder::Key(std::string_view name) {
  InternedString* entry = document_->Intern(CutAtNul(name));
  if (key_ != nullptr) BindingDocument::Release(document_, key_);
  key_ = entry;
}

void Quarn::detail::TreeBuilder::Push(BindingPropertyKind kind, uint64_t bits) {
  InternedString* name = nullptr;
  if (!frames_.empty() && frames_.back().structure) {
    name = key_ != nullptr ? key_ : SharedEmptyString();
  } else if (key_ != nullptr) {
    BindingDocument::Release(document_, key_);
  }
  key_ = nullptr;
  try {
    cells_.push_back({name, bits, kind});
  } catch (...) {
    ReleaseCell({name, bits, kind});
    throw;
  }
}

void Quarn::detail::TreeBuilder::Null() { Push(BindingPropertyKind::Empty, 0); }

void Quarn::detail::TreeBuilder::Bool(bool v) { Push(BindingPropertyKind::Bool, v ? 1 : 0); }

void Quarn::detail::TreeBuilder::Signed(int64_t v) {
  Push(BindingPropertyKind::Signed, static_cast<uint64_t>(v));
}

void Quarn::detail::TreeBuilder::Unsigned(uint64_t v) { Push(BindingPropertyKind::Unsigned, v); }

void Quarn::detail::TreeBuilder::Double(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof(bits));
  Push(BindingPropertyKind::Float, bits);
}

void Quarn::detail::TreeBuilder::String(std::string_view text) {
  Push(BindingPropertyKind::String, PointerBits(document_->Intern(CutAtNul(text))));
}

void Quarn::detail::TreeBuilder::Blob(std::span<const uint8_t> bytes) {
  Blob(std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

void Quarn::detail::TreeBuilder::Blob(std::vector<uint8_t>&& bytes) {
  BlobRecord* record = document_->NewBlob();
  *record = std::move(bytes);
  Push(BindingPropertyKind::Blob, PointerBits(record));
}

void Quarn::detail::TreeBuilder::Enum(int32_t value, const StaticType& type) {
  Push(BindingPropertyKind::Enum, PointerBits(document_->NewEnum({value, &type})));
}

void Quarn::detail::TreeBuilder::BeginCollection() {
  InternedString* name = nullptr;
  if (!frames_.empty() && frames_.back().structure)
    name = key_ != nullptr ? key_ : SharedEmptyString();
  else if (key_ != nullptr)
    BindingDocument::Release(document_, key_);
  key_ = nullptr;
  frames_.push_back({cells_.size(), name, false});
}

void Quarn::detail::TreeBuilder::BeginStructure() {
  BeginCollection();
  frames_.back().structure = true;
}

void Quarn::detail::TreeBuilder::EndCollection() {
  const Frame frame = frames_.back();
  const size_t count = cells_.size() - frame.start;
  void* data = count == 0 ? nullptr : ::operator new(count * sizeof(BindingProperty));
  CollectionRecord* record;
  try {
    record = document_->NewCollection();
  } catch (...) {
    ::operator delete(data);
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
  cells_.push_back({frame.name, PointerBits(record), BindingPropertyKind::Collection});
}

void Quarn::detail::TreeBuilder::EndStructure() {
  const Frame frame = frames_.back();
  const size_t count = cells_.size() - frame.start;
  if (count > UINT32_MAX) throw std::length_error("binding structure too large");
  const auto begin = cells_.begin() + static_cast<ptrdiff_t>(frame.start);
  // Stable, so that among equal names the order of arrival decides.
  std::stable_sort(begin, cells_.end(),
                   [](const Cell& a, const Cell& b) { return a.name->view() < b.name->view(); });
  void* data = count == 0 ? nullptr : ::operator new(count * sizeof(BindingMember));
  StructureRecord* record;
  try {
    record = document_->NewStructure();
  } catch (...) {
    ::operator delete(data);
    throw;
  }
  auto* members = static_cast<BindingMember*>(data);
  uint32_t written = 0;
  for (size_t i = frame.start; i < cells_.size();) {
    size_t next = i + 1;
    while (next < cells_.size() && cells_[next].name == cells_[i].name)
      ++next;  // interned: same text, same entry
    if (duplicates_ == DuplicateKeys::kLastWins) {
      for (size_t k = i; k + 1 < next; ++k) ReleaseCell(cells_[k]);
      const Cell& last = cells_[next - 1];
      BindingMember* member = BindingDocument::InitMember(members + written++, document_, last.name);
      BindingDocument::SetRaw(member->value(), last.kind, last.bits);
    } else {
      BindingMember* member = BindingDocument::InitMember(members + written++, document_, cells_[i].name);
      BindingDocument::SetRaw(member->value(), cells_[i].kind, cells_[i].bits);
      for (size_t k = i + 1; k < next; ++k) {
        DetachedCell later(document_);
        BindingDocument::SetRaw(*later, cells_[k].kind, cells_[k].bits);
        BindingDocument::Release(document_, cells_[k].name);
        MergeInto(member->value(), *later);
      }
    }
    i = next;
  }
  record->members = members;
  record->size = written;
  record->capacity = static_cast<uint32_t>(count);
  cells_.resize(frame.start);
  frames_.pop_back();
  cells_.push_back({frame.name, PointerBits(record), BindingPropertyKind::Structure});
}

void Quarn::detail::TreeBuilder::MergeInto(BindingProperty& target, BindingProperty& source) {
  // Iterative: duplicate names can nest as deep as the input does.
  std::vector<std::pair<BindingProperty*, BindingProperty*>> pending{{&target, &source}};
  while (!pending.empty()) {
    auto [to, from] = pending.back();
    pending.pop_back();
    if (to->IsCollection() && from->IsCollection()) {
      for (BindingProperty& element : from->Elements()) BindingDocument::TransferValue(to->Append(), element);
      continue;
    }
    if (!to->IsStructure() || !from->IsStructure()) {
      BindingDocument::ClearValue(*to);
      BindingDocument::TransferValue(*to, *from);
      continue;
    }
    // First every insertion into `to`, then the nested pairs: inserting can
    // move `to`'s members, so no pointer to them is taken before it ends.
    for (BindingMember& member : from->Members()) {
      BindingProperty* existing = to->FindMember(member.name());
      if (existing == nullptr) {
        BindingDocument::TransferValue(to->Member(member.name()), member.value());
      } else if (!((existing->IsStructure() && member.value().IsStructure()) ||
                   (existing->IsCollection() && member.value().IsCollection()))) {
        BindingDocument::ClearValue(*existing);
        BindingDocument::TransferValue(*existing, member.value());
      }
    }
    for (BindingMember& member : from->Members()) {
      if (!member.value().IsEmpty()) pending.push_back({to->FindMember(member.name()), &member.value()});
    }
  }
  // What is left of `source` is empty shells; its owner clears them.
}

void Quarn::detail::TreeBuilder::ReleaseCell(const Cell& cell) {
  if (cell.name != nullptr) BindingDocument::Release(document_, cell.name);
  DetachedCell value(document_);
  BindingDocument::SetRaw(*value, cell.kind, cell.bits);
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
  }
  cells_.clear();
  frames_.clear();
  key_ = nullptr;
  target_ = nullptr;
  document_ = nullptr;
}
