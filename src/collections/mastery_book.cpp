#include "collections/mastery_book.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "api/method.h"
#include "binding/message_format.h"
#include "collections/collections_messages.h"
#include "collections/collections_service.h"
#include "collections/dto_mapping.h"
#include "collections/resource_uris.h"
#include "collections/session.h"
#include "collections/trov_dtos.h"
#include "diagnostics/logger.h"
#include "runtime/outbound_request.h"
#include "runtime/trov_calls.h"

namespace Api = Quarn::Client::Collections::Api;
namespace TROV = Quarn::Client::Collections::TROV;

namespace {

constexpr std::string_view kMasteryBookService = "masteryBookService";
constexpr std::string_view kMasteryAssetPath = "/kiv-game-data/assets/v1/summoner-masteries.json";

Quarn::Failure ForeignBook() {
  return Quarn::Failure(std::string(Quarn::Client::Collections::Msg::kForeignMasteryBook), 403);
}

std::vector<Api::CollectionsMasteryPage>::iterator FindPage(Api::CollectionsMasteryBook& book, uint32_t id) {
  return std::find_if(book.pages.begin(), book.pages.end(),
                      [id](const Api::CollectionsMasteryPage& page) { return page.id == id; });
}

// Saves the cached book for `summoner`.
Quarn::Maybe<void> SaveCachedBook(Quarn::Client::Collections::CollectionsService& service,
                                  uint64_t summoner) {
  using namespace Quarn::Client::Collections;
  const TROV::MasteryBookDTO dto = ToMasteryBookDto(service.state().caches.mastery_book.book, summoner);
  Quarn::Maybe<void> saved = service.Await(service.Invoke(kMasteryBookService, "saveMasteryBook", dto));
  if (saved.HasFailure()) {
    return Quarn::Failure(Quarn::Format(Msg::kSaveMasteryBook, summoner, saved.failure().message()), 500);
  }
  return {};
}

// The logged-in `summoner`'s cache, read from the backend first when it was
// never filled: a book always has a page, and saving an edit of an empty
// cache would wipe the stored book.
Quarn::Maybe<void> FillCache(Quarn::Client::Collections::CollectionsService& service, uint64_t summoner) {
  using namespace Quarn::Client::Collections;
  if (!CachesServe(service, summoner)) return ForeignBook();
  if (!service.state().caches.mastery_book.book.pages.empty()) return {};
  QUARN_RETURN_IF_FAILED(GetMasteryBook(service, summoner));
  if (!CachesServe(service, summoner)) return ForeignBook();
  return {};
}

// Why a whole book may not replace the stored one, or nothing.
std::optional<std::string_view> BookFault(const Api::CollectionsMasteryBook& book) {
  using namespace Quarn::Client::Collections;
  if (book.pages.empty()) return Msg::kMasteryBookEmpty;
  if (book.pages.size() > kMaxMasteryPages) return Msg::kMasteryBookTooLarge;
  std::set<uint32_t> ids;
  size_t current = 0;
  for (const Api::CollectionsMasteryPage& page : book.pages) {
    if (!ids.insert(page.id).second) return Msg::kMasteryPageIdsRepeat;
    current += page.current ? 1 : 0;
  }
  if (current > 1) return Msg::kMasteryBookCurrentPages;
  return std::nullopt;
}

void PublishCachedBook(Quarn::Client::Collections::CollectionsService& service, uint64_t summoner) {
  using namespace Quarn::Client::Collections;
  // The caches may have gone to someone else while the backend saved.
  if (!CachesServe(service, summoner)) return;
  service.Publish(Quarn::Format(kMasteryBookUri, summoner), service.state().caches.mastery_book.book);
}

}  // namespace

void Quarn::Client::Collections::RegisterMasteryBookRoutes(CollectionsService& service) {
  BindingApi& api = service.api();
  api.Get("/kiv-collections/v1/inventories/{summonerId}/mastery-book",
          [&service](uint64_t summoner) { return GetMasteryBook(service, summoner); })
      .Path("summonerId");
  api.Put("/kiv-collections/v1/inventories/{summonerId}/mastery-book",
          [&service](uint64_t summoner, const Api::CollectionsMasteryBook& book) {
            return PutMasteryBook(service, summoner, book);
          })
      .Path("summonerId")
      .Body("resource");
  api.Put("/kiv-collections/v1/inventories/{summonerId}/mastery-book/pages",
          [&service](uint64_t summoner, const Api::CollectionsMasteryPage& page) {
            return PutMasteryPage(service, summoner, page);
          })
      .Path("summonerId")
      .Body("resource");
  api.Delete("/kiv-collections/v1/inventories/{summonerId}/mastery-book/pages/{pageId}",
             [&service](uint64_t summoner, uint32_t page_id) {
               return DeleteMasteryPage(service, summoner, page_id);
             })
      .Path("summonerId")
      .Path("pageId");
}

void Quarn::Client::Collections::LoadMasteryTrees(CollectionsService& service) {
  Maybe<Api::GameDataChampionMasteries> asset =
      service.Request<Api::GameDataChampionMasteries>(Method::Get, kMasteryAssetPath);
  if (asset.HasFailure()) {
    Log(kLogError, kChannelDbg, Msg::kLogMasteryDataFailed, asset.failure().message().c_str());
    return;
  }
  service.state().mastery_trees = BuildMasteryTrees(asset.value());
  // A book that arrived before the tables (the plug-in started after the
  // login) was tallied against none: tally it again and tell the clients.
  MasteryBookCache& cache = service.state().caches.mastery_book;
  bool changed = false;
  for (Api::CollectionsMasteryPage& page : cache.book.pages) {
    std::map<std::string, uint32_t> summary = SummaryOf(service.state().mastery_trees, page.masteries);
    changed = changed || summary != page.summary;
    page.summary = std::move(summary);
  }
  const uint64_t summoner = service.state().session.current_summoner;
  if (changed && CachesServe(service, summoner)) {
    service.Publish(Format(kMasteryBookUri, summoner), cache.book);
  }
}

Quarn::Maybe<Api::CollectionsMasteryBook> Quarn::Client::Collections::GetMasteryBook(
    CollectionsService& service, uint64_t summoner) {
  if (summoner == 0) return Failure(std::string(Msg::kZeroSummonerMasteryBook), 403);
  Maybe<TROV::MasteryBookDTO> dto =
      service.Await(service.Invoke<TROV::MasteryBookDTO>(kMasteryBookService, "getMasteryBook", summoner));
  if (dto.HasFailure()) {
    return Failure(Format(Msg::kRequestMasteryBook, summoner, dto.failure().message()), 500);
  }
  Api::CollectionsMasteryBook book = ToMasteryBook(dto.value(), service.state().mastery_trees);
  if (summoner == service.state().session.current_summoner) {
    TieCachesTo(service, summoner);
    SetMasteryBookCache(service, book);
  }
  return book;
}

Quarn::Maybe<Api::CollectionsMasteryBook> Quarn::Client::Collections::PutMasteryBook(
    CollectionsService& service, uint64_t summoner, const Api::CollectionsMasteryBook& book) {
  if (!CachesServe(service, summoner)) return ForeignBook();
  if (const std::optional<std::string_view> fault = BookFault(book)) return Failure(std::string(*fault), 400);
  const TROV::MasteryBookDTO dto = ToMasteryBookDto(book, summoner);
  Maybe<void> saved = service.Await(service.Invoke(kMasteryBookService, "saveMasteryBook", dto));
  if (saved.HasFailure())
    return Failure(Format(Msg::kSaveMasteryBook, summoner, saved.failure().message()), 500);

  Api::CollectionsMasteryBook answer = book;
  answer.summoner_id = summoner;  // the path's, whatever the body names
  const MasteryTrees& trees = service.state().mastery_trees;
  for (Api::CollectionsMasteryPage& page : answer.pages) page.summary = SummaryOf(trees, page.masteries);
  if (CachesServe(service, summoner)) {
    SetMasteryBookCache(service, answer);
    service.Publish(Format(kMasteryBookUri, summoner), answer);
  }
  return answer;
}

Quarn::Maybe<Api::CollectionsMasteryPage> Quarn::Client::Collections::PutMasteryPage(
    CollectionsService& service, uint64_t summoner, const Api::CollectionsMasteryPage& page) {
  QUARN_RETURN_IF_FAILED(FillCache(service, summoner));

  MasteryBookCache& cache = service.state().caches.mastery_book;
  Api::CollectionsMasteryPage copy = page;
  copy.summary = SummaryOf(service.state().mastery_trees, copy.masteries);
  if (copy.id != 0) {
    const auto cached = FindPage(cache.book, copy.id);
    if (cached == cache.book.pages.end()) return Failure(Format(Msg::kMasteryPageMissing, copy.id), 404);
    *cached = copy;
  } else {
    // At or above the limit: a book that arrived with more pages still
    // cannot grow.
    if (cache.book.pages.size() >= kMaxMasteryPages)
      return Failure(std::string(Msg::kTooManyMasteryPages), 403);
    copy.id = cache.next_page_id++;
    cache.book.pages.push_back(copy);
  }
  if (copy.current && copy.id != cache.current_page_id) {
    const auto previous = FindPage(cache.book, cache.current_page_id);
    if (previous != cache.book.pages.end()) previous->current = false;
    cache.current_page_id = copy.id;
  }

  // A failed save keeps the edit (and the advanced next id) in the cache.
  QUARN_RETURN_IF_FAILED(SaveCachedBook(service, summoner));
  PublishCachedBook(service, summoner);
  return copy;
}

Quarn::Maybe<void> Quarn::Client::Collections::DeleteMasteryPage(CollectionsService& service,
                                                                 uint64_t summoner, uint32_t page_id) {
  QUARN_RETURN_IF_FAILED(FillCache(service, summoner));
  MasteryBookCache& cache = service.state().caches.mastery_book;
  const auto doomed = FindPage(cache.book, page_id);
  if (doomed == cache.book.pages.end()) return Failure(Format(Msg::kMasteryPageMissing, page_id), 404);
  if (cache.book.pages.size() == 1) return Failure(std::string(Msg::kLastMasteryPage), 403);

  // Either mark means the book would be left without a current page.
  if (doomed->current || page_id == cache.current_page_id) {
    std::vector<uint32_t> ids;
    for (const Api::CollectionsMasteryPage& page : cache.book.pages) ids.push_back(page.id);
    std::sort(ids.begin(), ids.end());
    const size_t index = std::lower_bound(ids.begin(), ids.end(), page_id) - ids.begin();
    const uint32_t successor = index > 0 ? ids[index - 1] : ids[index + 1];
    cache.current_page_id = successor;
    FindPage(cache.book, successor)->current = true;
  }
  cache.book.pages.erase(FindPage(cache.book, page_id));

  // A failed save keeps the deletion in the cache.
  QUARN_RETURN_IF_FAILED(SaveCachedBook(service, summoner));
  PublishCachedBook(service, summoner);
  return {};
}
