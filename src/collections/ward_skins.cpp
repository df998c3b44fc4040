#include "collections/ward_skins.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

#include "binding/message_format.h"
#include "collections/resource_uris.h"
#include "collections/trov_dtos.h"
#include "diagnostics/logger.h"
#include "runtime/outbound_request.h"
#include "runtime/service_proxy.h"

namespace Api = Quarn::Client::Collections::Api;
namespace TROV = Quarn::Client::Collections::TROV;
using Quarn::Client::Collections::WardSkins;
using WardSkinList = std::vector<Api::CollectionsWardSkin>;

namespace {

constexpr std::string_view kCatalogueUri = "/kiv-game-data/assets/v1/ward-skins.json";
constexpr std::string_view kAccessZero = "Invalid summoner id.";
constexpr std::string_view kAccessNobody = "Data can only be retrieved by a logged-in summoner.";
constexpr std::string_view kAccessOther = "Data can only be retrieved for the logged-in summoner.";
constexpr std::string_view kRequestSelectable = "Failed to request selectable ward skins: %1";
constexpr std::string_view kRequestWardSkinData = "Error requesting ward skin data: %1";
constexpr std::string_view kNoWardSkin = "No available ward skin with id %1";
constexpr const char* kLogWardSkinsFailed = "Failed to retrieve ward skins: %s";

}  // namespace

void WardSkins::RegisterRoutes() {
  BindingApi& api = context_.api();
  api.Get("/kiv-collections/v1/inventories/{summonerId}/ward-skins",
          [this](uint64_t summoner) { return GetAll(summoner); })
      .Path("summonerId");
  api.Get("/kiv-collections/v1/inventories/{summonerId}/ward-skins/{wardSkinId}",
          [this](uint64_t summoner, int64_t ward_skin_id) { return Get(summoner, ward_skin_id); })
      .Path("summonerId")
      .Path("wardSkinId");
}

void WardSkins::OnInventoryChange(std::string_view inventory_type, const BindingProperty& data) {
  if (inventory_type != "WARD_SKIN") return;
  // An unreadable item reads as id 0: the list is still refetched and
  // republished, and skin 0 is not found.
  std::string error;
  const TROV::ContentItemIdentifier item = context_.Convert<TROV::ContentItemIdentifier>(data, error);
  Grant(static_cast<int64_t>(item.item_id));
}

Quarn::Maybe<WardSkinList> WardSkins::GetAll(uint64_t summoner) {
  const uint64_t current = context_.current_summoner();
  if (summoner == 0) return Failure(std::string(kAccessZero), 403);
  if (current == 0) return Failure(std::string(kAccessNobody), 403);
  if (summoner != current) return Failure(std::string(kAccessOther), 403);
  if (const WardSkinCache& cache = CacheFor(summoner); !cache.empty()) return cache.entries();

  // The answer is keyed by its reply method alone: readers share one request
  // rather than being refused while it is in flight.
  PluginBase& module = context_.module();
  Maybe<std::vector<uint64_t>> selectable =
      selectable_.Join(module, summoner, [&module](AppModule::ServiceProxyCallback done) {
        BindingProperty no_arguments;
        no_arguments.MakeCollection();
        return module.ServiceProxyRequest("wardSkins", "requestSelectableWardSkins", no_arguments,
                                          "receiveSelectableWardSkins", "", std::move(done));
      });
  if (selectable.HasFailure()) return Failure(Format(kRequestSelectable, selectable.FailureMessage()), 500);
  Maybe<WardSkinList> catalogue = module.Request<WardSkinList>(Method::Get, kCatalogueUri);
  if (catalogue.HasFailure()) return Failure(Format(kRequestWardSkinData, catalogue.FailureMessage()), 500);

  // The waits may have let another summoner log in; their cache must not
  // take this summoner's ownership.
  WardSkinCache unshared;
  WardSkinCache& cache = context_.current_summoner() == summoner ? CacheFor(summoner) : unshared;
  const std::vector<uint64_t>& owned = selectable.value();
  cache.Reserve(catalogue.value().size());
  for (Api::CollectionsWardSkin& skin : catalogue.value()) {
    skin.ownership.owned = std::find(owned.begin(), owned.end(), static_cast<uint64_t>(skin.id)) != owned.end();
    cache.Put(std::move(skin));
  }
  return cache.entries();
}

Quarn::Maybe<Api::CollectionsWardSkin> WardSkins::Get(uint64_t summoner, int64_t ward_skin_id) {
  QUARN_ASSIGN_OR_RETURN(const WardSkinList skins, GetAll(summoner));
  const auto found =
      std::find_if(skins.begin(), skins.end(),
                   [ward_skin_id](const Api::CollectionsWardSkin& skin) { return skin.id == ward_skin_id; });
  if (found == skins.end()) return Failure(Format(kNoWardSkin, ward_skin_id), 404);
  return *found;
}

void WardSkins::Refresh() {
  const uint64_t summoner = context_.current_summoner();
  if (!CacheFor(summoner).empty()) return;
  Maybe<WardSkinList> skins = GetAll(summoner);
  if (skins.HasFailure()) {
    const std::string message(skins.FailureMessage());
    Log(kLogError, kChannelDbg, kLogWardSkinsFailed, message.c_str());
    return;
  }
  const PluginResourceEventType type = published_ ? PluginResourceEventType::Update : PluginResourceEventType::Create;
  published_ = true;
  context_.Publish(Format(kWardSkinsUri, summoner), skins.value(), type);
}

void WardSkins::Grant(int64_t ward_skin_id) {
  cache_.Clear();
  Refresh();
  const uint64_t summoner = context_.current_summoner();
  Maybe<Api::CollectionsWardSkin> skin = Get(summoner, ward_skin_id);
  if (skin.HasFailure()) return;
  context_.Publish(Format(kWardSkinUri, summoner, ward_skin_id), skin.value());
}

Quarn::Client::Collections::WardSkinCache& WardSkins::CacheFor(uint64_t summoner) {
  if (summoner_ != summoner) {
    cache_.Clear();
    summoner_ = summoner;
  }
  return cache_;
}
