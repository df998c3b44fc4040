#include "collections/mastery_book.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "api/method.h"
#include "binding/message_format.h"
#include "collections/dto_mapping.h"
#include "collections/resource_uris.h"
#include "collections/trov_dtos.h"
#include "collections/unsaved_edit.h"
#include "diagnostics/logger.h"
#include "runtime/outbound_request.h"

namespace Api = Quarn::Client::Collections::Api;
namespace TROV = Quarn::Client::Collections::TROV;
using Quarn::Client::Collections::MasteryBook;

namespace {

constexpr std::string_view kMasteryBookService = "masteryBookService";
constexpr std::string_view kMasteryAssetPath = "/kiv-game-data/assets/v1/summoner-masteries.json";

constexpr std::string_view kZeroSummoner = "Cannot retrieve mastery book for summonerId 0.";
constexpr std::string_view kRequestMasteryBook = "Error requesting mastery book for %1: %2";
constexpr std::string_view kSaveMasteryBook = "Failed to save mastery book for %1: %2";
constexpr std::string_view kForeignMasteryBook = "Attempted to modify another summoner's mastery book.";
constexpr std::string_view kMasteryPageMissing = "Mastery page %1 does not exist.";
constexpr std::string_view kTooManyMasteryPages = "Attempted to create too many mastery pages.";
constexpr std::string_view kLastMasteryPage = "Attempted to delete the last mastery page.";
constexpr std::string_view kBookEmpty = "A mastery book must have at least one page.";
constexpr std::string_view kBookTooLarge = "A mastery book cannot have more than 20 pages.";
constexpr std::string_view kPageIdsRepeat = "Mastery page ids must be distinct.";
constexpr std::string_view kBookCurrentPages = "A mastery book can have only one current page.";
constexpr const char* kLogMasteryBookFailed = "Failed to retrieve mastery book: %s";
constexpr const char* kLogMasteryDataFailed = "Error requesting summoner mastery data: %s";

Quarn::Failure ForeignBook() { return Quarn::Failure(std::string(kForeignMasteryBook), 403); }

std::vector<Api::CollectionsMasteryPage>::iterator FindPage(Api::CollectionsMasteryBook& book, uint32_t id) {
  return std::find_if(book.pages.begin(), book.pages.end(),
                      [id](const Api::CollectionsMasteryPage& page) { return page.id == id; });
}

// Why a whole book may not replace the stored one, or nothing.
std::optional<std::string_view> BookFault(const Api::CollectionsMasteryBook& book) {
  if (book.pages.empty()) return kBookEmpty;
  if (book.pages.size() > Quarn::Client::Collections::kMaxMasteryPages) return kBookTooLarge;
  std::set<uint32_t> ids;
  size_t current = 0;
  for (const Api::CollectionsMasteryPage& page : book.pages) {
    if (!ids.insert(page.id).second) return kPageIdsRepeat;
    current += page.current ? 1 : 0;
  }
  if (current > 1) return kBookCurrentPages;
  return std::nullopt;
}

}  // namespace

void MasteryBook::RegisterRoutes() {
  BindingApi& api = context_.api();
  api.Get("/kiv-collections/v1/inventories/{summonerId}/mastery-book",
          [this](uint64_t summoner) { return Get(summoner); })
      .Path("summonerId");
  api.Put("/kiv-collections/v1/inventories/{summonerId}/mastery-book",
          [this](uint64_t summoner, const Api::CollectionsMasteryBook& book) { return Put(summoner, book); })
      .Path("summonerId")
      .Body("resource");
  api.Put("/kiv-collections/v1/inventories/{summonerId}/mastery-book/pages",
          [this](uint64_t summoner, const Api::CollectionsMasteryPage& page) { return PutPage(summoner, page); })
      .Path("summonerId")
      .Body("resource");
  api.Delete("/kiv-collections/v1/inventories/{summonerId}/mastery-book/pages/{pageId}",
             [this](uint64_t summoner, uint32_t page_id) { return DeletePage(summoner, page_id); })
      .Path("summonerId")
      .Path("pageId");
}

void MasteryBook::Start() {
  Maybe<Api::GameDataChampionMasteries> asset =
      context_.module().Request<Api::GameDataChampionMasteries>(Method::Get, kMasteryAssetPath);
  if (asset.HasFailure()) {
    Log(kLogError, kChannelDbg, kLogMasteryDataFailed, asset.failure().message().c_str());
    return;
  }
  trees_ = BuildMasteryTrees(asset.value());
  // A book that arrived before the tables (the plug-in started after the
  // login) was tallied against none.
  bool changed = false;
  for (Api::CollectionsMasteryPage& page : cache_.book.pages) {
    std::map<std::string, uint32_t> summary = SummaryOf(trees_, page.masteries);
    changed = changed || summary != page.summary;
    page.summary = std::move(summary);
  }
  const uint64_t summoner = context_.current_summoner();
  if (changed && context_.CachesServe(summoner)) context_.Publish(Format(kMasteryBookUri, summoner), cache_.book);
}

void MasteryBook::OnLoginData(const Api::SummonerData& data) {
  if (std::exchange(saved_since_login_, false) && context_.CachesServe(context_.current_summoner())) {
    context_.Publish(Format(kMasteryBookUri, context_.current_summoner()), cache_.book);
    return;
  }
  const Api::CollectionsMasteryBook book = ToMasteryBook(data.mastery_book, trees_);
  SetCache(book);
  context_.Publish(Format(kMasteryBookUri, context_.current_summoner()), book);
}

void MasteryBook::AfterReconnect() {
  if (cache_.book.summoner_id != 0) return;
  const uint64_t summoner = context_.current_summoner();
  Maybe<Api::CollectionsMasteryBook> book = Get(summoner);
  if (book.HasFailure()) {
    Log(kLogError, kChannelDbg, kLogMasteryBookFailed, book.failure().message().c_str());
  } else if (context_.current_summoner() == summoner) {
    context_.Publish(Format(kMasteryBookUri, summoner), cache_.book);
  }
}

Quarn::Maybe<Api::CollectionsMasteryBook> MasteryBook::Get(uint64_t summoner) {
  if (summoner == 0) return Failure(std::string(kZeroSummoner), 403);
  Maybe<TROV::MasteryBookDTO> dto =
      context_.Call<TROV::MasteryBookDTO>(kMasteryBookService, "getMasteryBook", summoner);
  if (dto.HasFailure()) return Failure(Format(kRequestMasteryBook, summoner, dto.failure().message()), 500);
  Api::CollectionsMasteryBook book = ToMasteryBook(dto.value(), trees_);
  if (summoner == context_.current_summoner()) {
    context_.TieCachesTo(summoner);
    SetCache(book);
  }
  return book;
}

Quarn::Maybe<Api::CollectionsMasteryBook> MasteryBook::Put(uint64_t summoner,
                                                           const Api::CollectionsMasteryBook& book) {
  if (!context_.CachesServe(summoner)) return ForeignBook();
  if (const std::optional<std::string_view> fault = BookFault(book)) return Failure(std::string(*fault), 400);
  const TROV::MasteryBookDTO dto = ToMasteryBookDto(book, summoner);
  Maybe<void> saved = context_.Call(kMasteryBookService, "saveMasteryBook", dto);
  if (saved.HasFailure()) return Failure(Format(kSaveMasteryBook, summoner, saved.failure().message()), 500);

  Api::CollectionsMasteryBook answer = book;
  answer.summoner_id = summoner;  // the path's, whatever the body names
  for (Api::CollectionsMasteryPage& page : answer.pages) page.summary = SummaryOf(trees_, page.masteries);
  if (context_.CachesServe(summoner)) {
    SetCache(answer);
    saved_since_login_ = true;
    context_.Publish(Format(kMasteryBookUri, summoner), answer);
  }
  return answer;
}

Quarn::Maybe<Api::CollectionsMasteryPage> MasteryBook::PutPage(uint64_t summoner,
                                                               const Api::CollectionsMasteryPage& page) {
  QUARN_RETURN_IF_FAILED(FillCache(summoner));
  Api::CollectionsMasteryPage copy = page;
  copy.summary = SummaryOf(trees_, copy.masteries);
  UnsavedEdit edit(cache_);
  if (copy.id != 0) {
    const auto cached = FindPage(cache_.book, copy.id);
    if (cached == cache_.book.pages.end()) return Failure(Format(kMasteryPageMissing, copy.id), 404);
    *cached = copy;
  } else {
    // At or above the limit: a book that arrived with more pages still
    // cannot grow.
    if (cache_.book.pages.size() >= kMaxMasteryPages) return Failure(std::string(kTooManyMasteryPages), 403);
    copy.id = cache_.next_page_id++;
    cache_.book.pages.push_back(copy);
  }
  if (copy.current && copy.id != cache_.current_page_id) {
    const auto previous = FindPage(cache_.book, cache_.current_page_id);
    if (previous != cache_.book.pages.end()) previous->current = false;
    cache_.current_page_id = copy.id;
  }

  QUARN_RETURN_IF_FAILED(SaveCache(summoner, edit));
  PublishCache(summoner);
  return copy;
}

Quarn::Maybe<void> MasteryBook::DeletePage(uint64_t summoner, uint32_t page_id) {
  QUARN_RETURN_IF_FAILED(FillCache(summoner));
  const auto doomed = FindPage(cache_.book, page_id);
  if (doomed == cache_.book.pages.end()) return Failure(Format(kMasteryPageMissing, page_id), 404);
  if (cache_.book.pages.size() == 1) return Failure(std::string(kLastMasteryPage), 403);
  UnsavedEdit edit(cache_);

  // Either mark means the book would be left without a current page.
  if (doomed->current || page_id == cache_.current_page_id) {
    std::vector<uint32_t> ids;
    for (const Api::CollectionsMasteryPage& page : cache_.book.pages) ids.push_back(page.id);
    std::sort(ids.begin(), ids.end());
    const size_t index = std::lower_bound(ids.begin(), ids.end(), page_id) - ids.begin();
    const uint32_t successor = index > 0 ? ids[index - 1] : ids[index + 1];
    cache_.current_page_id = successor;
    FindPage(cache_.book, successor)->current = true;
  }
  cache_.book.pages.erase(FindPage(cache_.book, page_id));

  QUARN_RETURN_IF_FAILED(SaveCache(summoner, edit));
  PublishCache(summoner);
  return {};
}

void MasteryBook::SetCache(const Api::CollectionsMasteryBook& book) {
  cache_.book = book;
  uint32_t highest = 0;
  for (const Api::CollectionsMasteryPage& page : book.pages) {
    if (page.current) cache_.current_page_id = page.id;
    highest = std::max(highest, page.id);
  }
  cache_.next_page_id = highest + 1;
}

Quarn::Maybe<void> MasteryBook::FillCache(uint64_t summoner) {
  if (!context_.CachesServe(summoner)) return ForeignBook();
  if (!cache_.book.pages.empty()) return {};
  QUARN_RETURN_IF_FAILED(Get(summoner));
  if (!context_.CachesServe(summoner)) return ForeignBook();
  return {};
}

Quarn::Maybe<void> MasteryBook::SaveCache(uint64_t summoner, UnsavedEdit<MasteryBookCache>& edit) {
  edit.Made();
  const TROV::MasteryBookDTO dto = ToMasteryBookDto(cache_.book, summoner);
  Maybe<void> saved = context_.Call(kMasteryBookService, "saveMasteryBook", dto);
  if (saved.HasFailure()) {
    edit.Undo();
    return Failure(Format(kSaveMasteryBook, summoner, saved.failure().message()), 500);
  }
  if (context_.CachesServe(summoner)) saved_since_login_ = true;
  return {};
}

void MasteryBook::PublishCache(uint64_t summoner) {
  // The caches may have gone to someone else while the backend saved.
  if (context_.CachesServe(summoner)) context_.Publish(Format(kMasteryBookUri, summoner), cache_.book);
}
