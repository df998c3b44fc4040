#include "collections/summoner_icons.h"

#include <algorithm>
#include <string>
#include <vector>

#include "api/method.h"
#include "binding/binding_property.h"
#include "binding/message_format.h"
#include "collections/dto_mapping.h"
#include "collections/resource_uris.h"
#include "collections/trov_dtos.h"
#include "diagnostics/logger.h"
#include "runtime/outbound_request.h"

namespace Api = Quarn::Client::Collections::Api;
namespace TROV = Quarn::Client::Collections::TROV;
using Quarn::Client::Collections::SummonerIcons;

namespace {

constexpr std::string_view kSpellAssetPath = "/kiv-game-data/assets/v1/summoner-spells.json";
constexpr std::string_view kSummonerPath = "/kiv-summoner/v1/summoners/%1";
constexpr std::string_view kRequestIcons = "Error requesting summoner icons for %1: %2";
constexpr std::string_view kRequestSpells = "Error requesting summoner spells: %1";
constexpr std::string_view kRequestSummonerLevel = "Error requesting summoner level for %1: %2";
// The text clients match, misspelling included.
constexpr const char* kLogItemProperties = "Failed to retrieve item properties from fulfilment notifcation: %s";

Quarn::Failure ZeroSummoner() {
  return Quarn::Failure(std::string(Quarn::Client::Collections::kZeroSummonerText), 403);
}

}  // namespace

void SummonerIcons::RegisterRoutes() {
  BindingApi& api = context_.api();
  api.Get("/kiv-collections/v1/inventories/{summonerId}/spells",
          [this](uint64_t summoner) { return GetSpells(summoner); })
      .Path("summonerId");
  api.Get("/kiv-collections/v1/inventories/{summonerId}/summoner-icons",
          [this](uint64_t summoner) { return GetIcons(summoner); })
      .Path("summonerId");
  api.Get("/kiv-collections/v2/inventories/{summonerId}/summoner-icons/{summonerIconId}",
          [this](uint64_t summoner, int32_t icon_id) {
            return Maybe<Api::CollectionsSummonerIcon>(GetIcon(summoner, icon_id));
          })
      .Path("summonerId")
      .Path("summonerIconId");
}

void SummonerIcons::OnInventoryChange(std::string_view inventory_type, const BindingProperty& data) {
  if (inventory_type != "SUMMONER_ICON") return;
  const uint64_t summoner = context_.current_summoner();
  loaded_ = false;
  Maybe<Api::CollectionsSummonerIcons> icons = GetIcons(summoner);
  std::string error;
  const TROV::ContentItemIdentifier item = context_.Convert<TROV::ContentItemIdentifier>(data, error);
  if (!error.empty()) {
    Log(kLogError, kChannelDbg, kLogItemProperties, error.c_str());
    return;
  }
  if (icons.ok()) context_.Publish(Format(kSummonerIconsUri, summoner), icons.value());
  const uint64_t now = context_.current_summoner();
  context_.Publish(Format(kSummonerIconUri, now, item.item_id), GetIcon(now, item.item_id));
}

Quarn::Maybe<Api::CollectionsSummonerIcons> SummonerIcons::GetIcons(uint64_t summoner) {
  if (summoner == 0) return ZeroSummoner();
  if (context_.CachesServe(summoner) && loaded_) return cache_;

  Maybe<TROV::SummonerIconInventoryDTO> inventory = context_.Call<TROV::SummonerIconInventoryDTO>(
      "summonerIconService", "getSummonerIconInventory", summoner);
  if (inventory.HasFailure()) return Failure(Format(kRequestIcons, summoner, inventory.failure().message()), 500);
  Api::CollectionsSummonerIcons icons = ToSummonerIcons(inventory.value());
  if (summoner == context_.current_summoner()) {
    context_.TieCachesTo(summoner);
    loaded_ = true;
    cache_ = icons;
  }
  return icons;
}

Api::CollectionsSummonerIcon SummonerIcons::GetIcon(uint64_t summoner, int32_t icon_id) {
  Api::CollectionsSummonerIcon answer;
  answer.icon_id = icon_id;
  // Ownership is read from the asked summoner's own icons, never from the
  // logged-in summoner's cache on someone else's behalf.
  const Maybe<Api::CollectionsSummonerIcons> icons = GetIcons(summoner);
  if (icons.ok()) {
    const std::vector<int32_t>& owned = icons.value().icons;
    answer.ownership.owned = std::find(owned.begin(), owned.end(), icon_id) != owned.end();
  }
  return answer;
}

Quarn::Maybe<Api::CollectionsSummonerSpells> SummonerIcons::GetSpells(uint64_t summoner) {
  if (summoner == 0) return ZeroSummoner();
  PluginBase& module = context_.module();
  Maybe<BindingProperty> asset = module.Request<BindingProperty>(Method::Get, kSpellAssetPath);
  if (asset.HasFailure()) return Failure(Format(kRequestSpells, asset.failure().message()), 500);
  Maybe<Api::Summoner> owner = module.Request<Api::Summoner>(Method::Get, Format(kSummonerPath, summoner));
  if (owner.HasFailure()) return Failure(Format(kRequestSummonerLevel, summoner, owner.failure().message()), 500);

  Api::CollectionsSummonerSpells spells;
  spells.summoner_id = summoner;
  if (!asset.value().IsCollection()) return spells;
  const uint32_t level = owner.value().summoner_level;
  for (const BindingProperty& spell : asset.value().Elements()) {
    if (!spell.IsStructure()) continue;
    const BindingProperty* id = spell.FindMember("id");
    const BindingProperty* required = spell.FindMember("summonerLevel");
    if (id == nullptr || required == nullptr) continue;
    if (level >= static_cast<uint32_t>(ReadUnsigned(*required, 0))) spells.spells.push_back(ReadUnsigned(*id, 0));
  }
  return spells;
}
