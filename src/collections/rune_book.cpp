#include "collections/rune_book.h"

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "binding/message_format.h"
#include "collections/dto_mapping.h"
#include "collections/resource_uris.h"
#include "collections/time_stamp.h"
#include "collections/trov_dtos.h"
#include "collections/unsaved_edit.h"
#include "diagnostics/logger.h"

namespace Api = Quarn::Client::Collections::Api;
namespace TROV = Quarn::Client::Collections::TROV;
using Quarn::Client::Collections::RuneBook;

namespace {

constexpr std::string_view kSpellBookService = "spellBookService";

constexpr std::string_view kZeroSummoner = "0 is an invalid summonerId";  // no full stop
constexpr std::string_view kRequestRuneBook = "Error requesting rune book for %1: %2";
constexpr std::string_view kSaveRuneBook = "Failed to save rune book for %1: %2";
constexpr std::string_view kSelectRunePage = "Failed to select current rune page for %1: %2";
constexpr std::string_view kForeignRuneBook = "Attempted to modify another summoner's rune book.";
constexpr std::string_view kRunePageRules =
    "Rune pages cannot be created or deleted, and there must be only one current page.";
constexpr std::string_view kRunePageIdMismatch = "PUT id %1 does not match rune page id %2.";
constexpr std::string_view kRunePageCreate = "Rune pages cannot be created.";
constexpr std::string_view kRunePageMissing = "Rune page does not exist.";
constexpr std::string_view kVerificationSave = "Failed to save";
constexpr const char* kLogRuneBookFailed = "Failed to retrieve rune book: %s";

// The id of the book's one current page, or nothing when the book breaks
// the rules a whole-book save must keep: the cache's page count, distinct
// ids, exactly one current page with a non-zero id.
std::optional<uint32_t> CheckRuneBook(const Api::CollectionsRuneBook& book, size_t cached_pages) {
  if (book.pages.size() != cached_pages) return std::nullopt;
  std::set<uint32_t> ids;
  uint32_t current = 0;
  for (const Api::CollectionsRunePage& page : book.pages) {
    if (!ids.insert(page.id).second) return std::nullopt;
    if (!page.current) continue;
    if (current != 0) return std::nullopt;
    current = page.id;
  }
  if (current == 0) return std::nullopt;
  return current;
}

Api::CollectionsRunePage* FindPage(Api::CollectionsRuneBook& book, uint32_t id) {
  const auto page = std::find_if(book.pages.begin(), book.pages.end(),
                                 [id](const Api::CollectionsRunePage& p) { return p.id == id; });
  return page == book.pages.end() ? nullptr : &*page;
}

Quarn::Failure ForeignBook() { return Quarn::Failure(std::string(kForeignRuneBook), 403); }

}  // namespace

void RuneBook::RegisterRoutes() {
  BindingApi& api = context_.api();
  api.Get("/kiv-collections/v1/inventories/{summonerId}/verification",
          [this](uint64_t summoner) { return GetVerificationCode(summoner); })
      .Path("summonerId");
  api.Put("/kiv-collections/v1/inventories/{summonerId}/verification",
          [this](uint64_t summoner, const std::string& code) { return PutVerificationCode(summoner, code); })
      .Path("summonerId")
      .Body("verificationCode");
  api.Get("/kiv-collections/v1/inventories/{summonerId}/rune-book",
          [this](uint64_t summoner) { return Get(summoner); })
      .Path("summonerId");
  api.Put("/kiv-collections/v1/inventories/{summonerId}/rune-book",
          [this](uint64_t summoner, const Api::CollectionsRuneBook& book) { return Put(summoner, book); })
      .Path("summonerId")
      .Body("resource");
  api.Put("/kiv-collections/v1/inventories/{summonerId}/rune-book/pages/{pageId}",
          [this](uint64_t summoner, uint32_t page_id, const Api::CollectionsRunePage& page) {
            return PutPage(summoner, page_id, page);
          })
      .Path("summonerId")
      .Path("pageId")
      .Body("resource");
  api.Put("/kiv-collections/v1/inventories/{summonerId}/rune-book/select-page/{pageId}",
          [this](uint64_t summoner, uint32_t page_id) { return SelectPage(summoner, page_id); })
      .Path("summonerId")
      .Path("pageId");
}

void RuneBook::OnLoginData(const Api::SummonerData& data) {
  const uint64_t current = context_.current_summoner();
  if (std::exchange(saved_since_login_, false) && context_.CachesServe(current)) {
    context_.Publish(Format(kRuneBookUri, current), cache_.book);
    return;
  }
  Api::CollectionsRuneBook book = ToRuneBook(data.spell_book);
  SetCache(current, book);
  context_.Publish(Format(kRuneBookUri, current), book);
}

void RuneBook::AfterReconnect() {
  // A cache whose summoner id is 0 was never filled: reload it rather than
  // answering from it.
  if (cache_.book.summoner_id != 0) return;
  const uint64_t summoner = context_.current_summoner();
  Maybe<Api::CollectionsRuneBook> book = Fetch(summoner);
  if (book.HasFailure()) {
    Log(kLogError, kChannelDbg, kLogRuneBookFailed, book.failure().message().c_str());
  } else if (context_.current_summoner() == summoner) {
    context_.Publish(Format(kRuneBookUri, summoner), cache_.book);
  }
}

void RuneBook::OnInventoryChange(std::string_view inventory_type, const BindingProperty& data) {
  if (inventory_type != "SPELL_BOOK_PAGE") return;
  const uint64_t summoner = context_.current_summoner();
  if (summoner == 0) return;
  // The data may be the whole book or only the item bought; anything but a
  // readable book with pages would empty the cache.
  std::string error;
  Api::CollectionsRuneBook book = ToRuneBook(context_.Convert<TROV::SpellBookDTO>(data, error));
  if (error.empty() && !book.pages.empty()) {
    SetCache(summoner, book);
    context_.Publish(Format(kRuneBookUri, summoner), book);
    return;
  }
  Maybe<Api::CollectionsRuneBook> fetched = Fetch(summoner);
  if (fetched.HasFailure()) {
    Log(kLogError, kChannelDbg, kLogRuneBookFailed, fetched.failure().message().c_str());
    return;
  }
  if (summoner != context_.current_summoner()) return;
  context_.Publish(Format(kRuneBookUri, summoner), fetched.value());
}

Quarn::Maybe<Api::CollectionsRuneBook> RuneBook::Get(uint64_t summoner) {
  if (summoner == 0) return Failure(std::string(kZeroSummoner), 403);
  if (context_.CachesServe(summoner) && !cache_.book.pages.empty()) return cache_.book;
  return Fetch(summoner);
}

Quarn::Maybe<Api::CollectionsRuneBook> RuneBook::Fetch(uint64_t summoner) {
  Maybe<TROV::SpellBookDTO> dto = context_.Call<TROV::SpellBookDTO>(kSpellBookService, "getSpellBook", summoner);
  if (dto.HasFailure()) return Failure(Format(kRequestRuneBook, summoner, dto.failure().message()), 500);
  Api::CollectionsRuneBook book = ToRuneBook(dto.value());
  // The summoner may have changed while the backend answered.
  if (summoner == context_.current_summoner()) {
    context_.TieCachesTo(summoner);
    SetCache(summoner, book);
  }
  return book;
}

Quarn::Maybe<Api::CollectionsRuneBook> RuneBook::Put(uint64_t summoner, const Api::CollectionsRuneBook& body) {
  QUARN_RETURN_IF_FAILED(FillCache(summoner));
  // The book is the path's summoner's, whatever the body names.
  Api::CollectionsRuneBook book = body;
  book.summoner_id = summoner;
  const std::optional<uint32_t> current = CheckRuneBook(book, cache_.book.pages.size());
  if (!current) return Failure(std::string(kRunePageRules), 409);

  const TROV::SpellBookDTO dto = ToSpellBookDto(book, summoner);
  Maybe<void> saved = context_.Call(kSpellBookService, "saveSpellBook", dto);
  if (saved.HasFailure()) return Failure(Format(kSaveRuneBook, summoner, saved.failure().message()), 500);

  // The caches may have gone to someone else while the backend saved.
  if (context_.CachesServe(summoner)) {
    cache_.book = book;
    cache_.current_page_id = *current;
    saved_since_login_ = true;
  }
  context_.Publish(Format(kRuneBookUri, summoner), book);
  return book;
}

Quarn::Maybe<Api::CollectionsRunePage> RuneBook::PutPage(uint64_t summoner, uint32_t page_id,
                                                         const Api::CollectionsRunePage& page) {
  QUARN_RETURN_IF_FAILED(FillCache(summoner));
  if (page_id != page.id) return Failure(Format(kRunePageIdMismatch, page_id, page.id), 400);
  Api::CollectionsRunePage* cached = FindPage(cache_.book, page.id);
  if (cached == nullptr) return Failure(std::string(kRunePageCreate), 409);
  UnsavedEdit edit(cache_);
  *cached = page;
  // A page sent with current false leaves the current page id alone, even
  // when it was the current page.
  if (page.current) MakeCurrent(page.id);

  edit.Made();
  const TROV::SpellBookDTO dto = ToSpellBookDto(cache_.book, summoner);
  Maybe<void> saved = context_.Call(kSpellBookService, "saveSpellBook", dto);
  if (saved.HasFailure()) {
    edit.Undo();
    return Failure(Format(kSaveRuneBook, summoner, saved.failure().message()), 500);
  }
  saved_since_login_ = true;
  return page;
}

Quarn::Maybe<Api::CollectionsRunePage> RuneBook::SelectPage(uint64_t summoner, uint32_t page_id) {
  QUARN_RETURN_IF_FAILED(FillCache(summoner));
  Api::CollectionsRunePage* selected = FindPage(cache_.book, page_id);
  if (selected == nullptr) return Failure(std::string(kRunePageMissing), 409);
  UnsavedEdit edit(cache_);
  if (page_id != cache_.current_page_id) {
    MakeCurrent(page_id);
    selected->current = true;
  }
  // Copied now: the cache may change while the backend answers.
  const Api::CollectionsRunePage answer = *selected;
  edit.Made();

  const TROV::SpellBookPageDTO dto = ToSpellBookPageDto(answer, summoner, TimeStampNow().create_date);
  Maybe<void> at_backend = context_.Call(kSpellBookService, "selectDefaultSpellBookPage", dto);
  if (at_backend.HasFailure()) {
    edit.Undo();
    return Failure(Format(kSelectRunePage, summoner, at_backend.failure().message()), 500);
  }
  if (context_.CachesServe(summoner)) {
    saved_since_login_ = true;
    context_.Publish(Format(kRuneBookUri, summoner), cache_.book);
  }
  return answer;
}

Quarn::Maybe<std::string> RuneBook::GetVerificationCode(uint64_t summoner) {
  // The code is the logged-in summoner's; nobody else reads it from the cache.
  if (!context_.CachesServe(summoner) || cache_.book.pages.empty()) return std::string();
  for (const Api::CollectionsRunePage& page : cache_.book.pages) {
    if (page.current) return page.name;
  }
  return cache_.book.pages.front().name;
}

Quarn::Maybe<std::string> RuneBook::PutVerificationCode(uint64_t summoner, const std::string& code) {
  // Someone who may not save the book may not rename its page either.
  if (FillCache(summoner).HasFailure()) return Failure(std::string(kVerificationSave));
  UnsavedEdit edit(cache_);
  Api::CollectionsRuneBook& book = cache_.book;
  if (!book.pages.empty()) {
    auto target = std::find_if(book.pages.begin(), book.pages.end(),
                               [](const Api::CollectionsRunePage& page) { return page.current; });
    if (target == book.pages.end()) {
      // The current page id stays as it was; only the flag marks the target.
      target = book.pages.begin();
      target->current = true;
    }
    target->name = code;
  }
  // A copy: the save replaces the cache with the book it is given.
  const Api::CollectionsRuneBook copy = book;
  edit.Made();
  if (Put(summoner, copy).HasFailure()) {
    edit.Undo();
    return Failure(std::string(kVerificationSave));
  }
  return std::string();
}

void RuneBook::SetCache(uint64_t summoner, Api::CollectionsRuneBook& book) {
  if (summoner != context_.current_summoner()) return;
  cache_.current_page_id = 0;
  bool any_current = false;
  for (const Api::CollectionsRunePage& page : book.pages) {
    if (!page.current) continue;
    cache_.current_page_id = page.id;
    any_current = true;
  }
  if (!any_current && !book.pages.empty()) {
    book.pages.front().current = true;
    cache_.current_page_id = book.pages.front().id;
  }
  cache_.book = book;
}

Quarn::Maybe<void> RuneBook::FillCache(uint64_t summoner) {
  // An edit of a cache that was never filled (the login's read failed, say)
  // would be refused, or would save an empty book over the stored one.
  if (!context_.CachesServe(summoner)) return ForeignBook();
  if (!cache_.book.pages.empty()) return {};
  QUARN_RETURN_IF_FAILED(Fetch(summoner));
  if (!context_.CachesServe(summoner)) return ForeignBook();
  return {};
}

void RuneBook::MakeCurrent(uint32_t page_id) {
  if (page_id == cache_.current_page_id) return;
  if (Api::CollectionsRunePage* previous = FindPage(cache_.book, cache_.current_page_id)) previous->current = false;
  cache_.current_page_id = page_id;
}
