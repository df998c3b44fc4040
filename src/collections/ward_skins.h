// Ward skins: routes 18 and 19, their refresh after login and reconnect,
// and the grant of one skin reported by the store.
//
// The list merges the game data's catalogue ("/kiv-game-data/assets/v1/
// ward-skins.json") with the ids the backend says the logged-in summoner
// can select (service proxy "wardSkins"."requestSelectableWardSkins",
// answered by "receiveSelectableWardSkins" on a later host step). The
// merged list is cached for the summoner it was read for.
//
// Operations that read take the service (borrowed for the call), await,
// and are [re-entrant: other callbacks may run before this returns].
#pragma once

#include <cstdint>
#include <vector>

#include "binding/maybe_type.h"
#include "collections/api_types.h"

namespace Quarn::Client::Collections {

class CollectionsService;

// Registers routes 18 and 19 in table order.
void RegisterWardSkinRoutes(CollectionsService& service);

// Route 18: every ward skin of the catalogue, in catalogue order, owned
// when the backend lists its id. Answered from the cache once filled for
// `summoner`; failed reads leave the cache empty.
// Failures: the 403s of CheckAccess (collections/session.h); 500 "Failed to
// request selectable ward skins: %1"; 500 "Error requesting ward skin
// data: %1".
Maybe<std::vector<Api::CollectionsWardSkin>> GetWardSkins(CollectionsService& service, uint64_t summoner);
// Route 19: one skin of that list; 404 "No available ward skin with id %1"
// when the list has none with that id; the failures of route 18.
Maybe<Api::CollectionsWardSkin> GetWardSkin(CollectionsService& service, uint64_t summoner,
                                            int64_t ward_skin_id);

// When the cache holds nothing for the logged-in summoner: reads the list
// and publishes it, as a creation the first time in the service's life and
// as an update afterwards. A failure is logged. [re-entrant]
void RefreshWardSkins(CollectionsService& service);
// The store granted a skin: empties the cache, refreshes and publishes the
// whole list, then publishes the granted skin on its own URI (unless the
// list has no skin with that id). [re-entrant]
void GrantWardSkin(CollectionsService& service, int64_t ward_skin_id);

}  // namespace Quarn::Client::Collections
