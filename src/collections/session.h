// Session tracking and the summoner caches: the login plug-in's session and
// login-data resources, the cache updates the collections share, the cache
// check after a reconnect, and the access rule of the ward-skin routes.
//
// Everything here runs on the host's thread and acts on the service's
// state (collections/session_state.h); the service is borrowed for the
// duration of each call.
#pragma once

#include <cstdint>

#include "binding/maybe_type.h"
#include "collections/api_types.h"
#include "runtime/app_module.h"

namespace Quarn::Client::Collections {

class CollectionsService;

// Subscriptions 1-2: "/kiv-login/v1/session" and
// "/kiv-login/v1/login-data-packet". [re-entrant: an exact URI's current
// value is fetched and delivered at once]
void SubscribeSession(CollectionsService& service);

// A session resource event: login, reconnect and logout transitions.
// [re-entrant]
void OnSessionEvent(CollectionsService& service, const ResourceEvent<Api::LoginSession>& event);
// A login-data resource event: both books enter their caches and are
// published. [re-entrant]
void OnLoginData(CollectionsService& service, const ResourceEvent<Api::CollectionLoginDataPacket>& event);

// Whether the summoner caches answer for and may be changed by `summoner`:
// someone is logged in, it is `summoner`, and the caches hold their data.
bool CachesServe(const CollectionsService& service, uint64_t summoner);

// Hands the summoner caches to `summoner`: when they hold anyone else's
// data, every summoner cache (both halves) is emptied first.
void TieCachesTo(CollectionsService& service, uint64_t summoner);

// Takes `book` into the rune-book cache when `summoner` is the current
// summoner (otherwise nothing happens): the last current page becomes the
// current page id; with no current page the first page is made current, in
// `book` too.
void SetRuneBookCache(CollectionsService& service, uint64_t summoner, Api::CollectionsRuneBook& book);
// Takes `book` into the mastery-book cache: the last current page becomes
// the current page id (unchanged when none is current); the next page id
// becomes one above the highest page id.
void SetMasteryBookCache(CollectionsService& service, const Api::CollectionsMasteryBook& book);

// Reloads what the caches lack after the backend connection came back,
// publishing what it loads; failures are logged. [re-entrant]
void CheckCachesAfterReconnect(CollectionsService& service);
// Loads and publishes the current summoner's rune quantities unless they
// are loaded; failures are logged. [re-entrant]
void RefreshRuneQuantities(CollectionsService& service);

// The access rule of the ward-skin routes; every failure is a 403:
// "Invalid summoner id." (0), "Data can only be retrieved by a logged-in
// summoner." (nobody logged in), "Data can only be retrieved for the
// logged-in summoner." (someone else).
Maybe<void> CheckAccess(const CollectionsService& service, uint64_t summoner);

}  // namespace Quarn::Client::Collections
