#include "collections/inventory_routes.h"

#include <algorithm>
#include <string>

#include "api/method.h"
#include "binding/binding_property.h"
#include "binding/message_format.h"
#include "collections/collections_messages.h"
#include "collections/collections_service.h"
#include "collections/dto_mapping.h"
#include "collections/resource_uris.h"
#include "collections/session.h"
#include "collections/trov_dtos.h"
#include "runtime/outbound_request.h"
#include "runtime/trov_calls.h"

namespace Api = Quarn::Client::Collections::Api;
namespace TROV = Quarn::Client::Collections::TROV;

namespace {

constexpr std::string_view kSpellAssetPath = "/kiv-game-data/assets/v1/summoner-spells.json";
constexpr std::string_view kSummonerPath = "/kiv-summoner/v1/summoners/%1";

Quarn::Failure ZeroSummoner() {
  return Quarn::Failure(std::string(Quarn::Client::Collections::Msg::kZeroSummoner), 403);
}

}  // namespace

void Quarn::Client::Collections::RegisterRuneQuantityRoute(CollectionsService& service) {
  service.api()
      .Get("/kiv-collections/v1/inventories/{summonerId}/runes",
           [&service](uint64_t summoner) { return GetRuneQuantities(service, summoner); })
      .Path("summonerId");
}

void Quarn::Client::Collections::RegisterSpellAndIconRoutes(CollectionsService& service) {
  BindingApi& api = service.api();
  api.Get("/kiv-collections/v1/inventories/{summonerId}/spells",
          [&service](uint64_t summoner) { return GetSummonerSpells(service, summoner); })
      .Path("summonerId");
  api.Get("/kiv-collections/v1/inventories/{summonerId}/summoner-icons",
          [&service](uint64_t summoner) { return GetSummonerIcons(service, summoner); })
      .Path("summonerId");
  api.Get("/kiv-collections/v2/inventories/{summonerId}/summoner-icons/{summonerIconId}",
          [&service](uint64_t summoner, int32_t icon_id) {
            return Maybe<Api::CollectionsSummonerIcon>(GetSummonerIcon(service, summoner, icon_id));
          })
      .Path("summonerId")
      .Path("summonerIconId");
}

Quarn::Maybe<Api::CollectionsRuneQuantities> Quarn::Client::Collections::GetRuneQuantities(
    CollectionsService& service, uint64_t summoner) {
  if (summoner == 0) return ZeroSummoner();
  const LoadedCache<Api::CollectionsRuneQuantities>& cache = service.state().caches.rune_quantities;
  if (CachesServe(service, summoner) && cache.loaded) return cache.value;

  Maybe<TROV::SummonerRuneInventory> inventory = service.Await(service.Invoke<TROV::SummonerRuneInventory>(
      "summonerRuneService", "getSummonerRuneInventory", summoner));
  if (inventory.HasFailure()) {
    return Failure(Format(Msg::kRequestRuneInventory, summoner, inventory.failure().message()), 500);
  }
  Api::CollectionsRuneQuantities quantities = ToRuneQuantities(inventory.value());
  if (summoner != service.state().session.current_summoner) return quantities;
  TieCachesTo(service, summoner);
  service.state().caches.rune_quantities = {true, quantities};
  return quantities;
}

Quarn::Maybe<Api::CollectionsSummonerIcons> Quarn::Client::Collections::GetSummonerIcons(
    CollectionsService& service, uint64_t summoner) {
  if (summoner == 0) return ZeroSummoner();
  const LoadedCache<Api::CollectionsSummonerIcons>& cache = service.state().caches.icons;
  if (CachesServe(service, summoner) && cache.loaded) return cache.value;

  Maybe<TROV::SummonerIconInventoryDTO> inventory =
      service.Await(service.Invoke<TROV::SummonerIconInventoryDTO>("summonerIconService",
                                                                   "getSummonerIconInventory", summoner));
  if (inventory.HasFailure()) {
    return Failure(Format(Msg::kRequestIcons, summoner, inventory.failure().message()), 500);
  }
  Api::CollectionsSummonerIcons icons = ToSummonerIcons(inventory.value());
  if (summoner == service.state().session.current_summoner) {
    TieCachesTo(service, summoner);
    service.state().caches.icons = {true, icons};
  }
  return icons;
}

Api::CollectionsSummonerIcon Quarn::Client::Collections::GetSummonerIcon(CollectionsService& service,
                                                                         uint64_t summoner, int32_t icon_id) {
  Api::CollectionsSummonerIcon answer;
  answer.icon_id = icon_id;
  // Ownership is read from the asked summoner's own icons, never from the
  // logged-in summoner's cache on someone else's behalf.
  const Maybe<Api::CollectionsSummonerIcons> icons = GetSummonerIcons(service, summoner);
  if (icons.ok()) {
    const std::vector<int32_t>& owned = icons.value().icons;
    answer.ownership.owned = std::find(owned.begin(), owned.end(), icon_id) != owned.end();
  }
  return answer;
}

Quarn::Maybe<Api::CollectionsSummonerSpells> Quarn::Client::Collections::GetSummonerSpells(
    CollectionsService& service, uint64_t summoner) {
  if (summoner == 0) return ZeroSummoner();
  Maybe<BindingProperty> asset = service.Request<BindingProperty>(Method::Get, kSpellAssetPath);
  if (asset.HasFailure()) return Failure(Format(Msg::kRequestSpells, asset.failure().message()), 500);
  Maybe<Api::Summoner> owner = service.Request<Api::Summoner>(Method::Get, Format(kSummonerPath, summoner));
  if (owner.HasFailure()) {
    return Failure(Format(Msg::kRequestSummonerLevel, summoner, owner.failure().message()), 500);
  }

  Api::CollectionsSummonerSpells spells;
  spells.summoner_id = summoner;
  if (!asset.value().IsCollection()) return spells;
  const uint32_t level = owner.value().summoner_level;
  for (const BindingProperty& spell : asset.value().Elements()) {
    if (!spell.IsStructure()) continue;
    const BindingProperty* id = spell.FindMember("id");
    const BindingProperty* required = spell.FindMember("summonerLevel");
    if (id == nullptr || required == nullptr) continue;
    if (level >= static_cast<uint32_t>(ReadUnsigned(*required, 0)))
      spells.spells.push_back(ReadUnsigned(*id, 0));
  }
  return spells;
}

void Quarn::Client::Collections::PublishIcon(CollectionsService& service, int32_t icon_id) {
  const uint64_t summoner = service.state().session.current_summoner;
  const Api::CollectionsSummonerIcon icon = GetSummonerIcon(service, summoner, icon_id);
  service.Publish(Format(kSummonerIconUri, summoner, icon_id), icon);
}
