#include "collections/session.h"

#include <algorithm>
#include <string>

#include "binding/message_format.h"
#include "collections/collections_messages.h"
#include "collections/collections_service.h"
#include "collections/dto_mapping.h"
#include "collections/inventory_routes.h"
#include "collections/mastery_book.h"
#include "collections/resource_uris.h"
#include "collections/rune_book.h"
#include "collections/service_parts.h"
#include "diagnostics/logger.h"

namespace Collections = Quarn::Client::Collections;
namespace Api = Quarn::Client::Collections::Api;

namespace {

constexpr std::string_view kSessionUri = "/kiv-login/v1/session";
constexpr std::string_view kLoginDataUri = "/kiv-login/v1/login-data-packet";

bool IsCreateOrUpdate(Quarn::PluginResourceEventType type) {
  return type == Quarn::PluginResourceEventType::Create || type == Quarn::PluginResourceEventType::Update;
}

}  // namespace

void Quarn::Client::Collections::SubscribeSession(CollectionsService& service) {
  service.ObserveResource<Api::LoginSession>(
      kSessionUri,
      [&service](const ResourceEvent<Api::LoginSession>& event) { OnSessionEvent(service, event); });
  service.ObserveResource<Api::CollectionLoginDataPacket>(
      kLoginDataUri, [&service](const ResourceEvent<Api::CollectionLoginDataPacket>& event) {
        OnLoginData(service, event);
      });
}

void Quarn::Client::Collections::OnSessionEvent(CollectionsService& service,
                                                const ResourceEvent<Api::LoginSession>& event) {
  SessionState& session = service.state().session;
  if (event.event_type == PluginResourceEventType::Delete) {
    // Only the session ends here; the caches stay tied to their summoner
    // and are emptied when someone else logs in.
    session.logged_in = false;
    session.current_summoner = 0;
    session.account_id = 0;
    OnLoggedOut(service);
    return;
  }
  if (!IsCreateOrUpdate(event.event_type)) return;

  const Api::LoginSession& data = event.data;
  const bool logged_in =
      data.state == Api::LoginSessionStates::kSucceeded && data.summoner_id != 0 && data.account_id != 0;
  const bool was_logged_in = session.logged_in;
  const bool was_connected = session.connected;
  session.logged_in = logged_in;
  session.connected = data.connected;

  if (!was_logged_in && logged_in) {
    session.current_summoner = data.summoner_id;
    session.account_id = data.account_id;
    TieCachesTo(service, data.summoner_id);
    // The books arrive with the login data packet; only these two are
    // loaded here.
    RefreshWardSkins(service);
    RefreshRuneQuantities(service);
    return;
  }
  if (was_logged_in && logged_in && !was_connected && data.connected) {
    Log(kLogAlways, kChannelDbg, "%s", Msg::kLogReconnect);
    CheckCachesAfterReconnect(service);
  }
}

void Quarn::Client::Collections::OnLoginData(CollectionsService& service,
                                             const ResourceEvent<Api::CollectionLoginDataPacket>& event) {
  if (!IsCreateOrUpdate(event.event_type)) return;
  const Api::SummonerData& data = event.data.all_summoner_data;
  Api::CollectionsRuneBook rune_book = ToRuneBook(data.spell_book);
  if (rune_book.pages.empty()) return;

  const uint64_t current = service.state().session.current_summoner;
  // A packet that comes before the session names its summoner only in the
  // books; the caches belong to that summoner until someone else logs in.
  TieCachesTo(service, current != 0 ? current : data.spell_book.summoner_id);
  SetRuneBookCache(service, current, rune_book);
  service.Publish(Format(kRuneBookUri, current), rune_book);

  const Api::CollectionsMasteryBook mastery_book =
      ToMasteryBook(data.mastery_book, service.state().mastery_trees);
  SetMasteryBookCache(service, mastery_book);
  service.Publish(Format(kMasteryBookUri, current), mastery_book);
}

bool Quarn::Client::Collections::CachesServe(const CollectionsService& service, uint64_t summoner) {
  const SessionState& session = service.state().session;
  return summoner != 0 && summoner == session.current_summoner && summoner == session.caches_summoner;
}

void Quarn::Client::Collections::TieCachesTo(CollectionsService& service, uint64_t summoner) {
  CollectionsState& state = service.state();
  if (state.session.caches_summoner == summoner) return;
  state.caches = SummonerCaches{};
  ForgetSecondHalfCaches(service);
  state.session.caches_summoner = summoner;
}

void Quarn::Client::Collections::SetRuneBookCache(CollectionsService& service, uint64_t summoner,
                                                  Api::CollectionsRuneBook& book) {
  CollectionsState& state = service.state();
  if (summoner != state.session.current_summoner) return;
  RuneBookCache& cache = state.caches.rune_book;
  cache.current_page_id = 0;
  bool any_current = false;
  for (const Api::CollectionsRunePage& page : book.pages) {
    if (!page.current) continue;
    cache.current_page_id = page.id;
    any_current = true;
  }
  if (!any_current && !book.pages.empty()) {
    book.pages.front().current = true;
    cache.current_page_id = book.pages.front().id;
  }
  cache.book.summoner_id = book.summoner_id;
  cache.book.pages = book.pages;
}

void Quarn::Client::Collections::SetMasteryBookCache(CollectionsService& service,
                                                     const Api::CollectionsMasteryBook& book) {
  MasteryBookCache& cache = service.state().caches.mastery_book;
  cache.book.summoner_id = book.summoner_id;
  cache.book.pages = book.pages;
  uint32_t highest = 0;
  for (const Api::CollectionsMasteryPage& page : book.pages) {
    if (page.current) cache.current_page_id = page.id;
    highest = std::max(highest, page.id);
  }
  cache.next_page_id = highest + 1;
}

void Quarn::Client::Collections::CheckCachesAfterReconnect(CollectionsService& service) {
  const uint64_t summoner = service.state().session.current_summoner;
  if (summoner == 0) {
    Log(kLogError, kChannelDbg, "%s", Msg::kLogCheckWithoutSummoner);
    return;
  }
  // Every step may wait for the backend; a logout or another login during
  // a wait ends the check, since what is left would be for someone gone.
  const auto still_current = [&service, summoner] {
    return service.state().session.current_summoner == summoner;
  };

  // A cache whose summoner id is 0 was never filled (or was saved with 0):
  // reload it from the backend rather than answering from it.
  if (service.state().caches.rune_book.book.summoner_id == 0) {
    Maybe<Api::CollectionsRuneBook> book = FetchRuneBook(service, summoner);
    if (book.HasFailure()) {
      Log(kLogError, kChannelDbg, Msg::kLogRuneBookFailed, book.failure().message().c_str());
    } else if (still_current()) {
      service.Publish(Format(kRuneBookUri, summoner), service.state().caches.rune_book.book);
    }
  }
  if (!still_current()) return;
  RefreshRuneQuantities(service);
  if (!still_current()) return;

  if (service.state().caches.mastery_book.book.summoner_id == 0) {
    Maybe<Api::CollectionsMasteryBook> book = GetMasteryBook(service, summoner);
    if (book.HasFailure()) {
      Log(kLogError, kChannelDbg, Msg::kLogMasteryBookFailed, book.failure().message().c_str());
    } else if (still_current()) {
      service.Publish(Format(kMasteryBookUri, summoner), service.state().caches.mastery_book.book);
    }
  }
  if (!still_current()) return;
  CheckChampionMasteryAfterReconnect(service);
  if (!still_current()) return;
  RefreshWardSkins(service);
}

void Quarn::Client::Collections::RefreshRuneQuantities(CollectionsService& service) {
  if (service.state().caches.rune_quantities.loaded) return;
  const uint64_t summoner = service.state().session.current_summoner;
  Maybe<Api::CollectionsRuneQuantities> quantities = GetRuneQuantities(service, summoner);
  if (quantities.HasFailure()) {
    Log(kLogError, kChannelDbg, Msg::kLogRuneQuantitiesFailed, quantities.failure().message().c_str());
    return;
  }
  service.Publish(Format(kRuneQuantitiesUri, summoner), quantities.value());
}

Quarn::Maybe<void> Quarn::Client::Collections::CheckAccess(const CollectionsService& service,
                                                           uint64_t summoner) {
  const uint64_t current = service.state().session.current_summoner;
  if (summoner == 0) return Failure(std::string(Msg::kAccessZero), 403);
  if (current == 0) return Failure(std::string(Msg::kAccessNobody), 403);
  if (summoner != current) return Failure(std::string(Msg::kAccessOther), 403);
  return {};
}
