// MasteryBook: the summoner's mastery book (GET and PUT .../mastery-book,
// PUT .../mastery-book/pages, DELETE .../mastery-book/pages/{pageId}) and
// the mastery-tree tables its page summaries are tallied with. The
// backend's "masteryBookService" owns the book; the logged-in summoner's
// copy lives in this collection's cache, each page with its points per tree.
//
// Operations that call the backend or the game data step the host: [re-entrant]
#pragma once

#include <cstdint>

#include "binding/maybe_type.h"
#include "collections/api_types.h"
#include "collections/collection.h"
#include "collections/mastery_trees.h"
#include "collections/service_context.h"
#include "collections/unsaved_edit.h"

namespace Quarn::Client::Collections {

// Most pages a book may hold.
inline constexpr size_t kMaxMasteryPages = 20;

struct MasteryBookCache {
  Api::CollectionsMasteryBook book;  // summonerId 0 until first filled
  uint32_t current_page_id = 0;
  uint32_t next_page_id = 0;  // id the next created page gets
  bool operator==(const MasteryBookCache&) const = default;
};

class MasteryBook : public Collection {
 public:
  explicit MasteryBook(ServiceContext& context) : context_(context) {}

  void RegisterRoutes() override;
  // Loads the tree tables from the game data's mastery asset (a failure is
  // logged and leaves them empty), then tallies again a cached book that
  // arrived before them and publishes it.
  void Start() override;
  void OnLogin() override { saved_since_login_ = false; }
  void OnLogout() override { saved_since_login_ = false; }
  // Takes the packet's mastery book and publishes it; keeps the cache
  // instead when a save was made since the login (see saved_since_login_).
  void OnLoginData(const Api::SummonerData& data) override;
  // Reloads and publishes a cache that was never filled.
  void AfterReconnect() override;
  void ForgetSummoner() override { cache_ = {}; }

  // GET .../mastery-book: always the backend's book (cached for the
  // current summoner).
  Maybe<Api::CollectionsMasteryBook> Get(uint64_t summoner);
  // PUT .../mastery-book: saves `book` as the whole book of the path's
  // summoner, then caches and publishes it. A book without pages, with
  // more than 20, with repeated page ids or with several current pages is
  // refused with 400 before anything is saved.
  Maybe<Api::CollectionsMasteryBook> Put(uint64_t summoner, const Api::CollectionsMasteryBook& book);
  // PUT .../mastery-book/pages: creates (id 0) or replaces one page, saves,
  // publishes. A failed save leaves the cache as it was (for this one and
  // the DELETE).
  Maybe<Api::CollectionsMasteryPage> PutPage(uint64_t summoner, const Api::CollectionsMasteryPage& page);
  // DELETE .../mastery-book/pages/{pageId}: deletes one page (never the
  // last), saves, publishes.
  Maybe<void> DeletePage(uint64_t summoner, uint32_t page_id);

  const MasteryBookCache& cache() const { return cache_; }

 private:
  // Takes `book`: the last current page becomes the current page id
  // (unchanged when none is current); the next page id becomes one above
  // the highest page id.
  void SetCache(const Api::CollectionsMasteryBook& book);
  // The logged-in `summoner`'s cache, read from the backend first when it
  // was never filled: a book always has a page, and saving an edit of an
  // empty cache would wipe the stored book.
  Maybe<void> FillCache(uint64_t summoner);
  // Saves the cache holding `edit`; a failed save undoes it.
  Maybe<void> SaveCache(uint64_t summoner, UnsavedEdit<MasteryBookCache>& edit);
  void PublishCache(uint64_t summoner);

  ServiceContext& context_;
  MasteryBookCache cache_;
  MasteryTrees trees_;  // game data, loaded once; not per summoner
  // The login data packet is the backend's book when the login began; a
  // request served while the login was under way may have saved a newer one.
  bool saved_since_login_ = false;
};

}  // namespace Quarn::Client::Collections
