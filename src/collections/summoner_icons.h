// SummonerIcons: the summoner's icons (GET .../summoner-icons, GET
// v2 .../summoner-icons/{summonerIconId}) from the backend's
// "summonerIconService", cached for the logged-in summoner once loaded,
// and the summoner spells their level allows (GET .../spells), computed
// from the game data's spell asset and the summoner plug-in; never cached.
#pragma once

#include <cstdint>
#include <string_view>

#include "binding/maybe_type.h"
#include "collections/api_types.h"
#include "collections/collection.h"
#include "collections/service_context.h"

namespace Quarn::Client::Collections {

class SummonerIcons : public Collection {
 public:
  explicit SummonerIcons(ServiceContext& context) : context_(context) {}

  void RegisterRoutes() override;
  void ForgetSummoner() override {
    loaded_ = false;
    cache_ = {};
  }
  // "SUMMONER_ICON": reads and publishes the icons, then the icon `itemId`.
  void OnInventoryChange(std::string_view inventory_type, const BindingProperty& data) override;

  // GET .../summoner-icons: cached for the current summoner once loaded.
  // 403 "0 is an invalid summonerId."; 500 "Error requesting summoner icons
  // for %1: %2". [re-entrant]
  Maybe<Api::CollectionsSummonerIcons> GetIcons(uint64_t summoner);
  // GET v2 .../summoner-icons/{summonerIconId}: whether `summoner` owns
  // `icon_id`; never fails (owned false when the icons could not be read).
  Api::CollectionsSummonerIcon GetIcon(uint64_t summoner, int32_t icon_id);
  // GET .../spells. [re-entrant]
  Maybe<Api::CollectionsSummonerSpells> GetSpells(uint64_t summoner);

 private:
  ServiceContext& context_;
  bool loaded_ = false;  // cleared when a purchase makes the cache stale
  Api::CollectionsSummonerIcons cache_;
};

}  // namespace Quarn::Client::Collections
