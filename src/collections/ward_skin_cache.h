// WardSkinCache: the ward skins of one summoner, by id, listed in the
// order in which they were first inserted (the catalogue's order).
//
// A hash index over a vector of entries: lookups by id, iteration in
// insertion order. The index starts with 8 buckets and a maximum load
// factor of 1.0, and is sized for a whole catalogue before it is filled.
// Ids are compared as unsigned 64-bit numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "collections/api_types.h"

namespace Quarn::Client::Collections {

// The bucket count for `entries` entries: the smallest power of two, at
// least 8, that is not below `entries` (the maximum load factor is 1.0).
size_t WardSkinBucketCount(size_t entries);

class WardSkinCache {
 public:
  WardSkinCache();

  bool empty() const { return entries_.empty(); }
  size_t size() const { return entries_.size(); }
  // The entries in insertion order.
  const std::vector<Api::CollectionsWardSkin>& entries() const { return entries_; }
  // Null when no entry has that id. The pointer is valid until the next
  // change of the cache.
  const Api::CollectionsWardSkin* Find(uint64_t id) const;

  // Sizes the index for `entries` entries (WardSkinBucketCount) and
  // re-inserts the current ones.
  void Reserve(size_t entries);
  // Inserts `skin` under its id, or overwrites the entry stored under that
  // id in place (its position in the order stays).
  void Put(Api::CollectionsWardSkin skin);
  // Drops every entry and gives the index 8 buckets again.
  void Clear();

  size_t bucket_count() const { return index_.bucket_count(); }

 private:
  std::vector<Api::CollectionsWardSkin> entries_;
  std::unordered_map<uint64_t, size_t> index_;  // id -> position in entries_
};

}  // namespace Quarn::Client::Collections
