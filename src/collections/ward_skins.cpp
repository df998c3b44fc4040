#include "collections/ward_skins.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

#include "binding/message_format.h"
#include "collections/collections_service.h"
#include "collections/resource_uris.h"
#include "collections/second_half_messages.h"
#include "collections/service_parts.h"
#include "collections/session.h"
#include "diagnostics/logger.h"
#include "runtime/outbound_request.h"
#include "runtime/service_proxy.h"

namespace Collections = Quarn::Client::Collections;
namespace Api = Quarn::Client::Collections::Api;
using WardSkinList = std::vector<Api::CollectionsWardSkin>;

namespace {

constexpr std::string_view kCatalogueUri = "/kiv-game-data/assets/v1/ward-skins.json";

// The cache, as long as it holds (or may be filled with) `summoner`'s list.
Collections::WardSkinCache& CacheFor(Collections::CollectionsService& service, uint64_t summoner) {
  Collections::WardSkinState& state = service.second_half().ward_skins;
  if (state.summoner != summoner) {
    state.cache.Clear();
    state.summoner = summoner;
  }
  return state.cache;
}

}  // namespace

void Quarn::Client::Collections::RegisterWardSkinRoutes(CollectionsService& service) {
  service.api()
      .Get("/kiv-collections/v1/inventories/{summonerId}/ward-skins",
           [&service](uint64_t summoner_id) { return GetWardSkins(service, summoner_id); })
      .Path("summonerId");
  service.api()
      .Get("/kiv-collections/v1/inventories/{summonerId}/ward-skins/{wardSkinId}",
           [&service](uint64_t summoner_id, int64_t ward_skin_id) {
             return GetWardSkin(service, summoner_id, ward_skin_id);
           })
      .Path("summonerId")
      .Path("wardSkinId");
}

Quarn::Maybe<WardSkinList> Quarn::Client::Collections::GetWardSkins(CollectionsService& service,
                                                                    uint64_t summoner) {
  QUARN_RETURN_IF_FAILED(CheckAccess(service, summoner));
  if (const WardSkinCache& cache = CacheFor(service, summoner); !cache.empty()) return cache.entries();

  // The answer is keyed by its reply method alone: concurrent readers
  // share one request rather than being refused while it is in flight.
  Maybe<std::vector<uint64_t>> selectable = service.second_half().ward_skins.selectable.Join(
      service, summoner, [&service](AppModule::ServiceProxyCallback done) {
        BindingProperty no_arguments;
        no_arguments.MakeCollection();
        return service.ServiceProxyRequest("wardSkins", "requestSelectableWardSkins", no_arguments,
                                           "receiveSelectableWardSkins", "", std::move(done));
      });
  if (selectable.HasFailure()) {
    return Failure(Format(Msg::kRequestSelectableWardSkins, selectable.FailureMessage()), 500);
  }
  Maybe<WardSkinList> catalogue = service.Request<WardSkinList>(Method::Get, kCatalogueUri);
  if (catalogue.HasFailure())
    return Failure(Format(Msg::kRequestWardSkinData, catalogue.FailureMessage()), 500);

  // The waits may have let another summoner log in; their cache must not
  // take this summoner's ownership.
  WardSkinCache unshared;
  WardSkinCache& cache =
      service.state().session.current_summoner == summoner ? CacheFor(service, summoner) : unshared;
  const std::vector<uint64_t>& owned = selectable.value();
  cache.Reserve(catalogue.value().size());
  for (Api::CollectionsWardSkin& skin : catalogue.value()) {
    skin.ownership.owned =
        std::find(owned.begin(), owned.end(), static_cast<uint64_t>(skin.id)) != owned.end();
    cache.Put(std::move(skin));
  }
  return cache.entries();
}

Quarn::Maybe<Api::CollectionsWardSkin> Quarn::Client::Collections::GetWardSkin(CollectionsService& service,
                                                                               uint64_t summoner,
                                                                               int64_t ward_skin_id) {
  QUARN_ASSIGN_OR_RETURN(const WardSkinList skins, GetWardSkins(service, summoner));
  const auto found =
      std::find_if(skins.begin(), skins.end(),
                   [ward_skin_id](const Api::CollectionsWardSkin& skin) { return skin.id == ward_skin_id; });
  if (found == skins.end()) return Failure(Format(Msg::kNoWardSkin, ward_skin_id), 404);
  return *found;
}

void Quarn::Client::Collections::RefreshWardSkins(CollectionsService& service) {
  const uint64_t summoner = service.state().session.current_summoner;
  if (!CacheFor(service, summoner).empty()) return;
  Maybe<WardSkinList> skins = GetWardSkins(service, summoner);
  if (skins.HasFailure()) {
    const std::string message(skins.FailureMessage());
    Log(kLogError, kChannelDbg, Msg::kLogWardSkinsFailed, message.c_str());
    return;
  }
  WardSkinState& state = service.second_half().ward_skins;
  const PluginResourceEventType type =
      state.published ? PluginResourceEventType::Update : PluginResourceEventType::Create;
  state.published = true;
  service.Publish(Format(kWardSkinsUri, summoner), skins.value(), type);
}

void Quarn::Client::Collections::GrantWardSkin(CollectionsService& service, int64_t ward_skin_id) {
  service.second_half().ward_skins.cache.Clear();
  RefreshWardSkins(service);
  const uint64_t summoner = service.state().session.current_summoner;
  Maybe<Api::CollectionsWardSkin> skin = GetWardSkin(service, summoner, ward_skin_id);
  if (skin.HasFailure()) return;
  service.Publish(Format(kWardSkinUri, summoner, ward_skin_id), skin.value());
}

void Quarn::Client::Collections::ForgetSecondHalfCaches(CollectionsService& service) {
  // The ward skins are the one second-half cache not keyed by summoner.
  WardSkinState& state = service.second_half().ward_skins;
  state.cache.Clear();
  state.summoner = 0;
}
