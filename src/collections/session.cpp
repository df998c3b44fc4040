#include "collections/session.h"

#include <algorithm>
#include <vector>

#include "diagnostics/logger.h"

namespace Api = Quarn::Client::Collections::Api;

namespace {

constexpr std::string_view kSessionUri = "/kiv-login/v1/session";
constexpr std::string_view kLoginDataUri = "/kiv-login/v1/login-data-packet";
constexpr const char* kLogReconnect = "Checking collections caches after reconnect.";
constexpr const char* kLogCheckWithoutSummoner =
    "Tried to check caches for an invalid summoner. (Summoner is not logged in yet.)";

bool IsCreateOrUpdate(Quarn::PluginResourceEventType type) {
  return type == Quarn::PluginResourceEventType::Create || type == Quarn::PluginResourceEventType::Update;
}

}  // namespace

void Quarn::Client::Collections::Session::Subscribe() {
  context_.module().ObserveResource<Api::LoginSession>(
      kSessionUri, [this](const ResourceEvent<Api::LoginSession>& event) { OnSessionEvent(event); });
  context_.module().ObserveResource<Api::CollectionLoginDataPacket>(
      kLoginDataUri,
      [this](const ResourceEvent<Api::CollectionLoginDataPacket>& event) { OnLoginData(event); });
}

void Quarn::Client::Collections::Session::OnSessionEvent(const ResourceEvent<Api::LoginSession>& event) {
  SessionState& session = context_.session();
  if (event.event_type == PluginResourceEventType::Delete) {
    // Only the session ends here; the caches stay tied to their summoner
    // and are emptied when someone else logs in.
    session.logged_in = false;
    session.current_summoner = 0;
    session.account_id = 0;
    for (Collection* collection : context_.collections()) collection->OnLogout();
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
    context_.TieCachesTo(data.summoner_id);
    // The books arrive with the login data packet; the other collections
    // load what they need here, by rank.
    std::vector<Collection*> by_rank = context_.collections();
    std::stable_sort(by_rank.begin(), by_rank.end(),
                     [](const Collection* a, const Collection* b) { return a->LoginRank() < b->LoginRank(); });
    for (Collection* collection : by_rank) collection->OnLogin();
    return;
  }
  if (was_logged_in && logged_in && !was_connected && data.connected) {
    Log(kLogAlways, kChannelDbg, "%s", kLogReconnect);
    CheckCachesAfterReconnect();
  }
}

void Quarn::Client::Collections::Session::OnLoginData(
    const ResourceEvent<Api::CollectionLoginDataPacket>& event) {
  if (!IsCreateOrUpdate(event.event_type)) return;
  const Api::SummonerData& data = event.data.all_summoner_data;
  if (data.spell_book.book_pages.empty()) return;
  const uint64_t current = context_.current_summoner();
  // A packet that comes before the session names its summoner only in the
  // books; the caches belong to that summoner until someone else logs in.
  context_.TieCachesTo(current != 0 ? current : data.spell_book.summoner_id);
  for (Collection* collection : context_.collections()) collection->OnLoginData(data);
}

void Quarn::Client::Collections::Session::CheckCachesAfterReconnect() {
  const uint64_t summoner = context_.current_summoner();
  if (summoner == 0) {
    Log(kLogError, kChannelDbg, "%s", kLogCheckWithoutSummoner);
    return;
  }
  // Every collection may wait for the backend; a logout or another login
  // during a wait ends the check, since what is left would be for someone
  // gone.
  for (Collection* collection : context_.collections()) {
    collection->AfterReconnect();
    if (context_.current_summoner() != summoner) return;
  }
}
