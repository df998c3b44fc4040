#include "collections/rune_book.h"

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "binding/message_format.h"
#include "collections/collections_messages.h"
#include "collections/collections_service.h"
#include "collections/dto_mapping.h"
#include "collections/resource_uris.h"
#include "collections/session.h"
#include "collections/time_stamp.h"
#include "collections/trov_dtos.h"
#include "runtime/trov_calls.h"

namespace Api = Quarn::Client::Collections::Api;
namespace TROV = Quarn::Client::Collections::TROV;

namespace {

constexpr std::string_view kSpellBookService = "spellBookService";

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

// Makes `page_id` the cache's current page; the previous one stops being.
void MakeCurrent(Quarn::Client::Collections::RuneBookCache& cache, uint32_t page_id) {
  if (page_id == cache.current_page_id) return;
  if (Api::CollectionsRunePage* previous = FindPage(cache.book, cache.current_page_id))
    previous->current = false;
  cache.current_page_id = page_id;
}

Quarn::Failure ForeignBook() {
  return Quarn::Failure(std::string(Quarn::Client::Collections::Msg::kForeignRuneBook), 403);
}

// The logged-in `summoner`'s cache, read from the backend first when it was
// never filled (the login's read failed, say): an edit of an empty cache
// would be refused, or would save an empty book over the stored one.
Quarn::Maybe<void> FillCache(Quarn::Client::Collections::CollectionsService& service, uint64_t summoner) {
  using namespace Quarn::Client::Collections;
  if (!CachesServe(service, summoner)) return ForeignBook();
  if (!service.state().caches.rune_book.book.pages.empty()) return {};
  QUARN_RETURN_IF_FAILED(FetchRuneBook(service, summoner));
  if (!CachesServe(service, summoner)) return ForeignBook();
  return {};
}

}  // namespace

void Quarn::Client::Collections::RegisterRuneBookRoutes(CollectionsService& service) {
  BindingApi& api = service.api();
  api.Get("/kiv-collections/v1/inventories/{summonerId}/verification",
          [&service](uint64_t summoner) { return GetVerificationCode(service, summoner); })
      .Path("summonerId");
  api.Put("/kiv-collections/v1/inventories/{summonerId}/verification",
          [&service](uint64_t summoner, const std::string& code) {
            return PutVerificationCode(service, summoner, code);
          })
      .Path("summonerId")
      .Body("verificationCode");
  api.Get("/kiv-collections/v1/inventories/{summonerId}/rune-book",
          [&service](uint64_t summoner) { return GetRuneBook(service, summoner); })
      .Path("summonerId");
  api.Put("/kiv-collections/v1/inventories/{summonerId}/rune-book",
          [&service](uint64_t summoner, const Api::CollectionsRuneBook& book) {
            return PutRuneBook(service, summoner, book);
          })
      .Path("summonerId")
      .Body("resource");
  api.Put("/kiv-collections/v1/inventories/{summonerId}/rune-book/pages/{pageId}",
          [&service](uint64_t summoner, uint32_t page_id, const Api::CollectionsRunePage& page) {
            return PutRunePage(service, summoner, page_id, page);
          })
      .Path("summonerId")
      .Path("pageId")
      .Body("resource");
  api.Put("/kiv-collections/v1/inventories/{summonerId}/rune-book/select-page/{pageId}",
          [&service](uint64_t summoner, uint32_t page_id) {
            return SelectRunePage(service, summoner, page_id);
          })
      .Path("summonerId")
      .Path("pageId");
}

Quarn::Maybe<Api::CollectionsRuneBook> Quarn::Client::Collections::GetRuneBook(CollectionsService& service,
                                                                               uint64_t summoner) {
  if (summoner == 0) return Failure(std::string(Msg::kZeroSummonerRuneBook), 403);
  const RuneBookCache& cache = service.state().caches.rune_book;
  if (CachesServe(service, summoner) && !cache.book.pages.empty()) return cache.book;
  return FetchRuneBook(service, summoner);
}

Quarn::Maybe<Api::CollectionsRuneBook> Quarn::Client::Collections::FetchRuneBook(CollectionsService& service,
                                                                                 uint64_t summoner) {
  Maybe<TROV::SpellBookDTO> dto =
      service.Await(service.Invoke<TROV::SpellBookDTO>(kSpellBookService, "getSpellBook", summoner));
  if (dto.HasFailure()) {
    return Failure(Format(Msg::kRequestRuneBook, summoner, dto.failure().message()), 500);
  }
  Api::CollectionsRuneBook book = ToRuneBook(dto.value());
  // SetRuneBookCache takes it only for the current summoner; the summoner
  // may have changed while the backend answered.
  if (summoner == service.state().session.current_summoner) {
    TieCachesTo(service, summoner);
    SetRuneBookCache(service, summoner, book);
  }
  return book;
}

Quarn::Maybe<Api::CollectionsRuneBook> Quarn::Client::Collections::PutRuneBook(
    CollectionsService& service, uint64_t summoner, const Api::CollectionsRuneBook& body) {
  QUARN_RETURN_IF_FAILED(FillCache(service, summoner));
  // The book is the path's summoner's, whatever the body names.
  Api::CollectionsRuneBook book = body;
  book.summoner_id = summoner;
  const std::optional<uint32_t> current =
      CheckRuneBook(book, service.state().caches.rune_book.book.pages.size());
  if (!current) return Failure(std::string(Msg::kRunePageRules), 409);

  const TROV::SpellBookDTO dto = ToSpellBookDto(book, summoner);
  Maybe<void> saved = service.Await(service.Invoke(kSpellBookService, "saveSpellBook", dto));
  if (saved.HasFailure())
    return Failure(Format(Msg::kSaveRuneBook, summoner, saved.failure().message()), 500);

  // The caches may have gone to someone else while the backend saved.
  if (CachesServe(service, summoner)) {
    RuneBookCache& cache = service.state().caches.rune_book;
    cache.book = book;
    cache.current_page_id = *current;
  }
  service.Publish(Format(kRuneBookUri, summoner), book);
  return book;
}

Quarn::Maybe<Api::CollectionsRunePage> Quarn::Client::Collections::PutRunePage(
    CollectionsService& service, uint64_t summoner, uint32_t page_id, const Api::CollectionsRunePage& page) {
  QUARN_RETURN_IF_FAILED(FillCache(service, summoner));
  if (page_id != page.id) return Failure(Format(Msg::kRunePageIdMismatch, page_id, page.id), 400);
  RuneBookCache& cache = service.state().caches.rune_book;
  Api::CollectionsRunePage* cached = FindPage(cache.book, page.id);
  if (cached == nullptr) return Failure(std::string(Msg::kRunePageCreate), 409);
  *cached = page;
  // A page sent with current false leaves the current page id alone, even
  // when it was the current page.
  if (page.current) MakeCurrent(cache, page.id);

  const TROV::SpellBookDTO dto = ToSpellBookDto(cache.book, summoner);
  Maybe<void> saved = service.Await(service.Invoke(kSpellBookService, "saveSpellBook", dto));
  // The cache keeps the change either way: the client's edit is not lost.
  if (saved.HasFailure())
    return Failure(Format(Msg::kSaveRuneBook, summoner, saved.failure().message()), 500);
  return page;
}

Quarn::Maybe<Api::CollectionsRunePage> Quarn::Client::Collections::SelectRunePage(CollectionsService& service,
                                                                                  uint64_t summoner,
                                                                                  uint32_t page_id) {
  QUARN_RETURN_IF_FAILED(FillCache(service, summoner));
  RuneBookCache& cache = service.state().caches.rune_book;
  Api::CollectionsRunePage* selected = FindPage(cache.book, page_id);
  if (selected == nullptr) return Failure(std::string(Msg::kRunePageMissing), 409);
  if (page_id != cache.current_page_id) {
    MakeCurrent(cache, page_id);
    selected->current = true;
  }
  // Copied now: the cache may change while the backend answers.
  const Api::CollectionsRunePage answer = *selected;

  const TROV::SpellBookPageDTO dto = ToSpellBookPageDto(answer, summoner, TimeStampNow().create_date);
  Maybe<void> selected_at_backend =
      service.Await(service.Invoke(kSpellBookService, "selectDefaultSpellBookPage", dto));
  if (selected_at_backend.HasFailure()) {
    return Failure(Format(Msg::kSelectRunePage, summoner, selected_at_backend.failure().message()), 500);
  }
  if (CachesServe(service, summoner)) {
    service.Publish(Format(kRuneBookUri, summoner), service.state().caches.rune_book.book);
  }
  return answer;
}

Quarn::Maybe<std::string> Quarn::Client::Collections::GetVerificationCode(CollectionsService& service,
                                                                          uint64_t summoner) {
  // The code is the logged-in summoner's; nobody else reads it from the cache.
  const RuneBookCache& cache = service.state().caches.rune_book;
  if (!CachesServe(service, summoner) || cache.book.pages.empty()) return std::string();
  // The page PUT .../verification renames: the first current page.
  for (const Api::CollectionsRunePage& page : cache.book.pages) {
    if (page.current) return page.name;
  }
  return cache.book.pages.front().name;
}

Quarn::Maybe<std::string> Quarn::Client::Collections::PutVerificationCode(CollectionsService& service,
                                                                          uint64_t summoner,
                                                                          const std::string& code) {
  // Someone who may not save the book may not rename its page either.
  if (FillCache(service, summoner).HasFailure()) return Failure(std::string(Msg::kVerificationSave));
  Api::CollectionsRuneBook& book = service.state().caches.rune_book.book;
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
  if (PutRuneBook(service, summoner, copy).HasFailure()) return Failure(std::string(Msg::kVerificationSave));
  return std::string();
}
