// UnsavedEdit: a change to a cached book that the backend has still to
// save. When the save fails, Undo puts the cache back as it was, so the
// client that was told the edit failed does not find it in later reads,
// nor has a later save write it to the backend.
//
// The host is stepped while the backend answers, and other requests may
// change the cache meanwhile (a login, another edit whose save carried this
// one too); Undo then leaves the cache alone rather than undo their work.
#pragma once

#include <optional>
#include <utility>

namespace Quarn::Client::Collections {

template <typename Cache>
class UnsavedEdit {
 public:
  // Keeps the cache as it is before the edit.
  explicit UnsavedEdit(Cache& cache) : cache_(cache), before_(cache) {}

  // Call once the edit is made, right before the save.
  void Made() { after_ = cache_; }

  void Undo() {
    if (after_ && cache_ == *after_) cache_ = std::move(before_);
  }

 private:
  Cache& cache_;
  Cache before_;
  std::optional<Cache> after_;
};

}  // namespace Quarn::Client::Collections
