// WardSkins: the ward skins (GET .../ward-skins, GET
// .../ward-skins/{wardSkinId}), their refresh after login and reconnect,
// and the grant of one skin reported by the store.
//
// The list merges the game data's catalogue ("/kiv-game-data/assets/v1/
// ward-skins.json") with the ids the backend says the logged-in summoner
// can select (service proxy "wardSkins"."requestSelectableWardSkins",
// answered by "receiveSelectableWardSkins" on a later host step; readers
// that come while it is unanswered share it). The merged list is cached
// for the summoner it was read for.
//
// Operations that read await: [re-entrant]
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "binding/maybe_type.h"
#include "collections/api_types.h"
#include "collections/collection.h"
#include "collections/service_context.h"
#include "collections/shared_fetch.h"
#include "collections/ward_skin_cache.h"

namespace Quarn::Client::Collections {

class WardSkins : public Collection {
 public:
  explicit WardSkins(ServiceContext& context) : context_(context) {}

  void RegisterRoutes() override;
  // Read first at login, before the other collections.
  int LoginRank() const override { return 0; }
  void OnLogin() override { Refresh(); }
  void AfterReconnect() override { Refresh(); }
  void ForgetSummoner() override {
    cache_.Clear();
    summoner_ = 0;
  }
  // "WARD_SKIN": grants the skin `itemId` (0 when unreadable).
  void OnInventoryChange(std::string_view inventory_type, const BindingProperty& data) override;

  // GET .../ward-skins: every skin of the catalogue, in catalogue order,
  // owned when the backend lists its id. Answered from the cache once
  // filled for `summoner`; failed reads leave the cache empty.
  // Failures, all 403: "Invalid summoner id." (0), "Data can only be
  // retrieved by a logged-in summoner." (nobody logged in), "Data can only
  // be retrieved for the logged-in summoner." (someone else); 500 "Failed
  // to request selectable ward skins: %1"; 500 "Error requesting ward skin
  // data: %1".
  Maybe<std::vector<Api::CollectionsWardSkin>> GetAll(uint64_t summoner);
  // GET .../ward-skins/{wardSkinId}: one skin of that list; 404 "No
  // available ward skin with id %1" when the list has none with that id.
  Maybe<Api::CollectionsWardSkin> Get(uint64_t summoner, int64_t ward_skin_id);

  // When the cache holds nothing for the logged-in summoner: reads the list
  // and publishes it, as a creation the first time in the service's life and
  // as an update afterwards. A failure is logged.
  void Refresh();
  // Empties the cache, refreshes and publishes the whole list, then
  // publishes the granted skin on its own URI (unless the list has none
  // with that id).
  void Grant(int64_t ward_skin_id);

 private:
  // The cache, as long as it holds (or may be filled with) `summoner`'s list.
  WardSkinCache& CacheFor(uint64_t summoner);

  ServiceContext& context_;
  WardSkinCache cache_;                                // empty until read; a grant empties it
  uint64_t summoner_ = 0;                              // whose ownership `cache_` holds
  bool published_ = false;                             // later publications are updates
  SharedFetches<uint64_t, std::vector<uint64_t>> selectable_;  // by summoner
};

}  // namespace Quarn::Client::Collections
