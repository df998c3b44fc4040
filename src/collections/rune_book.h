// RuneBook: the summoner's rune book (GET and PUT .../rune-book, PUT
// .../rune-book/pages/{pageId}, PUT .../rune-book/select-page/{pageId}) and
// the verification code (GET and PUT .../verification), stored as the name
// of the current rune page. The backend's "spellBookService" owns the book;
// the logged-in summoner's copy lives in this collection's cache.
//
// Operations return the route's answer or its failure (status and
// message); those that call the backend step the host: [re-entrant]
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "binding/maybe_type.h"
#include "collections/api_types.h"
#include "collections/collection.h"
#include "collections/service_context.h"

namespace Quarn::Client::Collections {

struct RuneBookCache {
  Api::CollectionsRuneBook book;  // summonerId 0 until first filled
  uint32_t current_page_id = 0;   // 0: no current page known
  bool operator==(const RuneBookCache&) const = default;
};

class RuneBook : public Collection {
 public:
  explicit RuneBook(ServiceContext& context) : context_(context) {}

  void RegisterRoutes() override;
  void OnLogin() override { saved_since_login_ = false; }
  void OnLogout() override { saved_since_login_ = false; }
  // Takes the packet's spell book and publishes it; keeps the cache instead
  // when a save was made since the login (see saved_since_login_).
  void OnLoginData(const Api::SummonerData& data) override;
  // Reloads and publishes a cache that was never filled.
  void AfterReconnect() override;
  void ForgetSummoner() override { cache_ = {}; }
  // "SPELL_BOOK_PAGE": takes the book the data carries, or, when the data
  // is not a book with pages (the item alone), reads the logged-in
  // summoner's book from the backend; publishes it. Logged out: nothing.
  void OnInventoryChange(std::string_view inventory_type, const BindingProperty& data) override;

  // GET .../rune-book: the cached book for the current summoner, else the
  // backend's (cached when `summoner` is the current summoner).
  // 403 "0 is an invalid summonerId"; 500 "Error requesting rune book for %1: %2".
  Maybe<Api::CollectionsRuneBook> Get(uint64_t summoner);
  // The backend's book, taken into the cache when `summoner` is the current
  // summoner. 500 "Error requesting rune book for %1: %2".
  Maybe<Api::CollectionsRuneBook> Fetch(uint64_t summoner);
  // PUT .../rune-book: saves `book` as the current summoner's whole book
  // (for the path's summoner, whatever the body names), then caches and
  // publishes it. 403 another summoner's; 409 page rules; 500 save.
  Maybe<Api::CollectionsRuneBook> Put(uint64_t summoner, const Api::CollectionsRuneBook& book);
  // PUT .../rune-book/pages/{pageId}: replaces one cached page and saves the
  // book; a failed save leaves the cache as it was.
  Maybe<Api::CollectionsRunePage> PutPage(uint64_t summoner, uint32_t page_id, const Api::CollectionsRunePage& page);
  // PUT .../rune-book/select-page/{pageId}: makes a cached page current,
  // tells the backend, publishes; a failure leaves the cache as it was.
  Maybe<Api::CollectionsRunePage> SelectPage(uint64_t summoner, uint32_t page_id);
  // GET .../verification: the name of the first current cached page, else
  // of the first page ("" without pages): the page the PUT renames.
  Maybe<std::string> GetVerificationCode(uint64_t summoner);
  // PUT .../verification: stores `code` as the current page's name and
  // saves the book. Fails with "Failed to save" and no status, the cache
  // left as it was.
  Maybe<std::string> PutVerificationCode(uint64_t summoner, const std::string& code);

  const RuneBookCache& cache() const { return cache_; }

 private:
  // Takes `book` when `summoner` is the current summoner: the last current
  // page becomes the current page id; with none current the first page is
  // made current, in `book` too.
  void SetCache(uint64_t summoner, Api::CollectionsRuneBook& book);
  // The logged-in `summoner`'s cache, read from the backend first when it
  // was never filled.
  Maybe<void> FillCache(uint64_t summoner);
  // Makes `page_id` the current page; the previous one stops being.
  void MakeCurrent(uint32_t page_id);

  ServiceContext& context_;
  RuneBookCache cache_;
  // The login data packet is the backend's book when the login began; a
  // request served while the login was under way may have saved a newer one.
  bool saved_since_login_ = false;
};

}  // namespace Quarn::Client::Collections
