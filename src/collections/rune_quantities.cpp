#include "collections/rune_quantities.h"

#include <string>

#include "binding/message_format.h"
#include "collections/dto_mapping.h"
#include "collections/resource_uris.h"
#include "collections/trov_dtos.h"
#include "diagnostics/logger.h"

namespace Api = Quarn::Client::Collections::Api;
namespace TROV = Quarn::Client::Collections::TROV;
using Quarn::Client::Collections::RuneQuantities;

namespace {

constexpr std::string_view kRequestRuneInventory = "Error requesting summoner rune inventory for %1: %2";
constexpr const char* kLogRuneQuantitiesFailed = "Failed to retrieve rune quantities: %s";

}  // namespace

void RuneQuantities::RegisterRoutes() {
  context_.api()
      .Get("/kiv-collections/v1/inventories/{summonerId}/runes", [this](uint64_t summoner) { return Get(summoner); })
      .Path("summonerId");
}

void RuneQuantities::OnInventoryChange(std::string_view inventory_type, const BindingProperty& /*data*/) {
  if (inventory_type != "RUNE") return;
  loaded_ = false;
  Refresh();
}

Quarn::Maybe<Api::CollectionsRuneQuantities> RuneQuantities::Get(uint64_t summoner) {
  if (summoner == 0) return Failure(std::string(kZeroSummonerText), 403);
  if (context_.CachesServe(summoner) && loaded_) return cache_;

  Maybe<TROV::SummonerRuneInventory> inventory = context_.Call<TROV::SummonerRuneInventory>(
      "summonerRuneService", "getSummonerRuneInventory", summoner);
  if (inventory.HasFailure()) {
    return Failure(Format(kRequestRuneInventory, summoner, inventory.failure().message()), 500);
  }
  Api::CollectionsRuneQuantities quantities = ToRuneQuantities(inventory.value());
  if (summoner != context_.current_summoner()) return quantities;
  context_.TieCachesTo(summoner);
  loaded_ = true;
  cache_ = quantities;
  return quantities;
}

void RuneQuantities::Refresh() {
  if (loaded_) return;
  const uint64_t summoner = context_.current_summoner();
  Maybe<Api::CollectionsRuneQuantities> quantities = Get(summoner);
  if (quantities.HasFailure()) {
    Log(kLogError, kChannelDbg, kLogRuneQuantitiesFailed, quantities.failure().message().c_str());
    return;
  }
  context_.Publish(Format(kRuneQuantitiesUri, summoner), quantities.value());
}
