// Read-only inventories: rune quantities (route 7), summoner spells
// (route 12), summoner icons (routes 13 and 14) and the publication of one
// icon's ownership.
//
// Each operation takes the service (borrowed for the call) and steps the
// host when it calls the backend or another plug-in: [re-entrant]
#pragma once

#include <cstdint>

#include "binding/maybe_type.h"
#include "collections/api_types.h"

namespace Quarn::Client::Collections {

class CollectionsService;

// Route 7, registered in its place after the rune-book routes.
void RegisterRuneQuantityRoute(CollectionsService& service);
// Routes 12-14, in table order.
void RegisterSpellAndIconRoutes(CollectionsService& service);

// Route 7: cached for the current summoner once loaded.
// 403 "0 is an invalid summonerId."; 500 "Error requesting summoner rune inventory for %1: %2".
Maybe<Api::CollectionsRuneQuantities> GetRuneQuantities(CollectionsService& service, uint64_t summoner);
// Route 13: cached for the current summoner once loaded.
// 403 "0 is an invalid summonerId."; 500 "Error requesting summoner icons for %1: %2".
Maybe<Api::CollectionsSummonerIcons> GetSummonerIcons(CollectionsService& service, uint64_t summoner);
// Route 14: whether `summoner` owns `icon_id`; never fails (owned false
// when the icons could not be read).
Api::CollectionsSummonerIcon GetSummonerIcon(CollectionsService& service, uint64_t summoner, int32_t icon_id);
// Route 12: the spells the summoner's level allows; nothing is cached.
Maybe<Api::CollectionsSummonerSpells> GetSummonerSpells(CollectionsService& service, uint64_t summoner);

// Publishes the current summoner's ownership of `icon_id` (route 14's
// answer) at the icon's version-2 URI.
void PublishIcon(CollectionsService& service, int32_t icon_id);

}  // namespace Quarn::Client::Collections
