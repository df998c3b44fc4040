// The rune book: routes 1-6 (verification code, the book, one page, the
// page selection). The backend's "spellBookService" owns the book; the
// logged-in summoner's copy lives in the rune-book cache.
//
// Each operation takes the service (borrowed for the call) and returns the
// route's answer or its failure (status and message). Operations that call
// the backend step the host: [re-entrant]
#pragma once

#include <cstdint>
#include <string>

#include "binding/maybe_type.h"
#include "collections/api_types.h"

namespace Quarn::Client::Collections {

class CollectionsService;

// Registers routes 1-6 in table order.
void RegisterRuneBookRoutes(CollectionsService& service);

// Route 3: the cached book for the current summoner, else the backend's
// (cached when `summoner` is the current summoner).
// 403 "0 is an invalid summonerId"; 500 "Error requesting rune book for %1: %2".
Maybe<Api::CollectionsRuneBook> GetRuneBook(CollectionsService& service, uint64_t summoner);
// Route 3 without looking at the cache: the backend's book, taken into the
// cache when `summoner` is the current summoner (also the reconnect check's
// reload). 500 "Error requesting rune book for %1: %2".
Maybe<Api::CollectionsRuneBook> FetchRuneBook(CollectionsService& service, uint64_t summoner);
// Route 4: saves `book` as the current summoner's whole book, then caches
// and publishes it. 403 another summoner's; 409 page rules; 500 save.
Maybe<Api::CollectionsRuneBook> PutRuneBook(CollectionsService& service, uint64_t summoner,
                                            const Api::CollectionsRuneBook& book);
// Route 5: replaces one cached page and saves the book; the cache keeps the
// change when the save fails.
Maybe<Api::CollectionsRunePage> PutRunePage(CollectionsService& service, uint64_t summoner, uint32_t page_id,
                                            const Api::CollectionsRunePage& page);
// Route 6: makes a cached page current, tells the backend, publishes.
Maybe<Api::CollectionsRunePage> SelectRunePage(CollectionsService& service, uint64_t summoner,
                                               uint32_t page_id);
// Route 1: the first cached page's name ("" without pages).
Maybe<std::string> GetVerificationCode(CollectionsService& service, uint64_t summoner);
// Route 2: stores `code` as the current page's name and saves the book.
// Fails with "Failed to save" and no status when the save fails.
Maybe<std::string> PutVerificationCode(CollectionsService& service, uint64_t summoner,
                                       const std::string& code);

}  // namespace Quarn::Client::Collections
