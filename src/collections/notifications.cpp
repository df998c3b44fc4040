#include "collections/notifications.h"

#include <string>
#include <string_view>

#include "binding/json_reader.h"
#include "binding/message_format.h"
#include "binding/native_conversion.h"
#include "collections/champion_mastery.h"
#include "collections/collections_messages.h"
#include "collections/rune_book.h"
#include "collections/collections_service.h"
#include "collections/dto_mapping.h"
#include "collections/inventory_routes.h"
#include "collections/resource_uris.h"
#include "collections/second_half_messages.h"
#include "collections/service_parts.h"
#include "collections/session.h"
#include "collections/ward_skins.h"
#include "diagnostics/logger.h"
#include "runtime/trov_calls.h"

namespace Collections = Quarn::Client::Collections;
namespace Api = Quarn::Client::Collections::Api;
namespace TROV = Quarn::Client::Collections::TROV;

namespace {

// Reads `data` as a T; `error` gets the conversion's message on failure.
template <class T>
T Convert(const Collections::CollectionsService& service, const Quarn::BindingProperty& data,
          std::string& error) {
  T value{};
  Quarn::BindingResult converted;
  Quarn::FromBindingValue(converted, data, "<value>", value, service.registry());
  if (!converted.ok()) error = converted.ErrorMessage();
  return value;
}

// A SPELL_BOOK_PAGE fulfilment may carry the whole book or only the item
// bought. Anything but a readable book with pages leaves the cache alone
// and refetches the logged-in summoner's book, as RUNE refetches quantities.
void TakeRuneBook(Collections::CollectionsService& service, const Quarn::BindingProperty& data) {
  const uint64_t summoner = service.state().session.current_summoner;
  if (summoner == 0) return;
  std::string error;
  const TROV::SpellBookDTO dto = Convert<TROV::SpellBookDTO>(service, data, error);
  Api::CollectionsRuneBook book = Collections::ToRuneBook(dto);
  if (error.empty() && !book.pages.empty()) {
    Collections::SetRuneBookCache(service, summoner, book);
    service.Publish(Quarn::Format(Collections::kRuneBookUri, summoner), book);
    return;
  }
  Quarn::Maybe<Api::CollectionsRuneBook> fetched = Collections::FetchRuneBook(service, summoner);
  if (fetched.HasFailure()) {
    Quarn::Log(Quarn::kLogError, Quarn::kChannelDbg, Collections::Msg::kLogRuneBookFailed,
               fetched.failure().message().c_str());
    return;
  }
  if (summoner != service.state().session.current_summoner) return;
  service.Publish(Quarn::Format(Collections::kRuneBookUri, summoner), fetched.value());
}

void RefreshIcons(Collections::CollectionsService& service, const Quarn::BindingProperty& data) {
  const uint64_t summoner = service.state().session.current_summoner;
  service.state().caches.icons.loaded = false;
  Quarn::Maybe<Api::CollectionsSummonerIcons> icons = Collections::GetSummonerIcons(service, summoner);
  std::string error;
  const TROV::ContentItemIdentifier item = Convert<TROV::ContentItemIdentifier>(service, data, error);
  if (!error.empty()) {
    Quarn::Log(Quarn::kLogError, Quarn::kChannelDbg, Collections::Msg::kLogItemProperties, error.c_str());
    return;
  }
  if (icons.ok()) service.Publish(Quarn::Format(Collections::kSummonerIconsUri, summoner), icons.value());
  Collections::PublishIcon(service, item.item_id);
}

void OnChampionMasteryMessage(Collections::CollectionsService& service, const std::string& parameter) {
  const Quarn::BindingResult parsed = Quarn::FromJson(parameter);
  const Quarn::BindingProperty& body = parsed.ok() ? parsed.value : Quarn::BindingProperty::EmptyValue();
  if (body.FindMember("gameId") == nullptr || body.FindMember("championLevel") == nullptr) {
    Quarn::Log(Quarn::kLogError, Quarn::kChannelDbg, "%s", Collections::Msg::kLogDialogWithoutFields);
    return;
  }
  const Quarn::BindingProperty* player = body.FindMember("playerId");
  const Quarn::BindingProperty* champion = body.FindMember("championId");
  const uint64_t player_id = player != nullptr ? Quarn::ReadUnsigned(*player, 0) : 0;
  const int32_t champion_id = champion != nullptr ? static_cast<int32_t>(Quarn::ReadSigned(*champion, 0)) : 0;
  Quarn::Log(Quarn::kLogAlways, Quarn::kChannelDbg, Collections::Msg::kLogMasteryMessage, champion_id);

  const uint64_t summoner = service.state().session.current_summoner;
  // Nobody logged in is nobody's message, even one without a player id.
  if (summoner == 0 || player_id != summoner) return;
  if (Collections::HasChampionMasteries(service, summoner)) {
    Collections::RefreshChampionMastery(service, champion_id);
  } else {
    // Fetches, caches and publishes the whole list; failures are logged there.
    (void)Collections::GetChampionMasteries(service, summoner);
  }
}

void OnLootGrantMessage(Collections::CollectionsService& service) {
  Quarn::Log(Quarn::kLogAlways, Quarn::kChannelDbg, "%s", Collections::Msg::kLogLootGrantMessage);
  Quarn::Maybe<Api::CollectionsChestEligibility> chests = Collections::GetChestEligibility(service);
  if (chests.HasFailure()) return;
  service.Publish(Collections::kChestEligibilityUri, chests.value());
}

}  // namespace

void Quarn::Client::Collections::SubscribeNotifications(CollectionsService& service) {
  service.ObserveTrovEvent<TROV::SimpleMessage>(
      TROV::SimpleMessage::kClassName,
      [&service](const TROV::SimpleMessage& message) { OnDialogMessage(service, message); });
  service.ObserveTrovEvent<TROV::StoreFulfillmentNotification>(
      TROV::StoreFulfillmentNotification::kClassName,
      [&service](const TROV::StoreFulfillmentNotification& notification) {
        OnStoreFulfillment(service, notification);
      });
  service.ObserveTrovEvent<TROV::RentalUpdateNotification>(
      TROV::RentalUpdateNotification::kClassName,
      [&service](const TROV::RentalUpdateNotification& notification) {
        OnRentalUpdate(service, notification);
      });
}

void Quarn::Client::Collections::OnStoreFulfillment(CollectionsService& service,
                                                    const TROV::StoreFulfillmentNotification& notification) {
  const std::string& type = notification.inventory_type;
  if (type == "WARD_SKIN") {
    // An unreadable item reads as id 0: the list is still refetched and
    // republished, and skin 0 is not found.
    std::string error;
    const TROV::ContentItemIdentifier item =
        Convert<TROV::ContentItemIdentifier>(service, notification.data, error);
    GrantWardSkin(service, static_cast<int64_t>(item.item_id));
  } else if (type == "SPELL_BOOK_PAGE") {
    TakeRuneBook(service, notification.data);
  } else if (type == "RUNE") {
    service.state().caches.rune_quantities.loaded = false;
    RefreshRuneQuantities(service);
  } else if (type == "SUMMONER_ICON") {
    RefreshIcons(service, notification.data);
  }
}

void Quarn::Client::Collections::OnRentalUpdate(CollectionsService& service,
                                                const TROV::RentalUpdateNotification& notification) {
  TROV::StoreFulfillmentNotification same;
  same.inventory_type = notification.inventory_type;
  same.data = notification.data;
  OnStoreFulfillment(service, same);
}

void Quarn::Client::Collections::OnDialogMessage(CollectionsService& service,
                                                 const TROV::SimpleMessage& message) {
  if (message.type == "championMastery" && !message.params.empty()) {
    OnChampionMasteryMessage(service, message.params.front());
  } else if (message.type == "championMasteryLootGrant") {
    OnLootGrantMessage(service);
  }
}
