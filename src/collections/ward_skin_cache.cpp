#include "collections/ward_skin_cache.h"

#include <utility>

namespace {
constexpr size_t kInitialBuckets = 8;
}  // namespace

size_t Quarn::Client::Collections::WardSkinBucketCount(size_t entries) {
  size_t buckets = kInitialBuckets;
  while (buckets < entries) buckets *= 2;
  return buckets;
}

Quarn::Client::Collections::WardSkinCache::WardSkinCache() {
  index_.max_load_factor(1.0f);
  index_.rehash(kInitialBuckets);
}

const Quarn::Client::Collections::Api::CollectionsWardSkin* Quarn::Client::Collections::WardSkinCache::Find(
    uint64_t id) const {
  const auto found = index_.find(id);
  return found == index_.end() ? nullptr : &entries_[found->second];
}

void Quarn::Client::Collections::WardSkinCache::Reserve(size_t entries) {
  // rehash re-inserts every current key into the new buckets.
  index_.rehash(WardSkinBucketCount(entries));
}

void Quarn::Client::Collections::WardSkinCache::Put(Api::CollectionsWardSkin skin) {
  const uint64_t id = static_cast<uint64_t>(skin.id);
  const auto [slot, inserted] = index_.try_emplace(id, entries_.size());
  if (inserted) {
    entries_.push_back(std::move(skin));
  } else {
    entries_[slot->second] = std::move(skin);
  }
}

void Quarn::Client::Collections::WardSkinCache::Clear() {
  entries_.clear();
  index_.clear();
  index_.rehash(kInitialBuckets);
}
