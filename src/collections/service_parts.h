// The hooks through which the service core (session tracking, rune book,
// mastery book, runes, icons and spells) reaches the second-half
// collections: champion mastery and chests, ward skins, the profile
// backdrop and backend notifications.
//
// Each hook takes the service it acts on, borrowed for the duration of the
// call, and runs on the host's thread. Hooks that read the backend or other
// plug-ins may step the host:
// [re-entrant: other callbacks may run before this returns]
#pragma once

namespace Quarn::Client::Collections {

class CollectionsService;

// ---- registration (register-API hook, in route-table order after 14)

// Routes 15-17: champion mastery, its top list, chest eligibility.
void RegisterChampionMasteryRoutes(CollectionsService& service);
// Routes 18-19: ward skins and one ward skin.
void RegisterWardSkinRoutes(CollectionsService& service);
// Route 20: the profile backdrop.
void RegisterBackdropRoutes(CollectionsService& service);

// ---- subscriptions (init hook, after subscriptions 1-2)

// Subscriptions 3-4: the champion-mastery platform settings.
void SubscribeChampionMasterySettings(CollectionsService& service);
// Subscriptions 5-6: recently played champions and the current summoner.
void SubscribeBackdropSources(CollectionsService& service);
// Subscriptions 7-9: the backend's dialog, fulfilment and rental messages.
void SubscribeNotifications(CollectionsService& service);

// ---- session transitions

// Refresh of the ward skins: at login (before the rune quantities) and as
// the last step of the cache check after reconnect. Logs its own failures.
// [re-entrant]
void RefreshWardSkins(CollectionsService& service);
// Step 5 of the cache check after reconnect: reads the current summoner's
// champion masteries when the table has none for them. [re-entrant]
void CheckChampionMasteryAfterReconnect(CollectionsService& service);
// The session ended (Delete event), after the current summoner became 0:
// empties the backdrop tables.
void OnLoggedOut(CollectionsService& service);
// The summoner caches are being given to another summoner: drops every
// second-half cache that holds one summoner's data (the ward skins).
void ForgetSecondHalfCaches(CollectionsService& service);

}  // namespace Quarn::Client::Collections
