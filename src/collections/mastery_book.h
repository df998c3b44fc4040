// The mastery book: loading the mastery-tree tables and routes 8-11 (the
// book, creating or replacing a page, deleting a page). The backend's
// "masteryBookService" owns the book; the logged-in summoner's copy lives
// in the mastery-book cache, each page with its points per tree.
//
// Each operation takes the service (borrowed for the call); those that call
// the backend or the game data step the host: [re-entrant]
#pragma once

#include <cstdint>

#include "binding/maybe_type.h"
#include "collections/api_types.h"

namespace Quarn::Client::Collections {

class CollectionsService;

// Most pages a book may reach by creation.
inline constexpr size_t kMaxMasteryPages = 20;

// Registers routes 8-11 in table order.
void RegisterMasteryBookRoutes(CollectionsService& service);

// Fills the mastery-tree tables from the game data's mastery asset; on
// failure logs it at the ERROR level and leaves the tables empty.
void LoadMasteryTrees(CollectionsService& service);

// Route 8: always the backend's book (cached for the current summoner).
Maybe<Api::CollectionsMasteryBook> GetMasteryBook(CollectionsService& service, uint64_t summoner);
// Route 9: saves `book` as the whole book, then caches and publishes it.
Maybe<Api::CollectionsMasteryBook> PutMasteryBook(CollectionsService& service, uint64_t summoner,
                                                  const Api::CollectionsMasteryBook& book);
// Route 10: creates (id 0) or replaces one page, saves, publishes.
Maybe<Api::CollectionsMasteryPage> PutMasteryPage(CollectionsService& service, uint64_t summoner,
                                                  const Api::CollectionsMasteryPage& page);
// Route 11: deletes one page (never the last), saves, publishes.
Maybe<void> DeleteMasteryPage(CollectionsService& service, uint64_t summoner, uint32_t page_id);

}  // namespace Quarn::Client::Collections
