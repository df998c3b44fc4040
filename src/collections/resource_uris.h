// The URIs under which the service publishes its data: the route paths
// with the summoner filled in. Templates for Format (binding/message_format.h):
// "%1" is the summoner id, "%2" the icon or ward-skin id.
//
//   service.Publish(Format(kRuneBookUri, summoner), book);
#pragma once

#include <string_view>

namespace Quarn::Client::Collections {

inline constexpr std::string_view kRuneBookUri = "/kiv-collections/v1/inventories/%1/rune-book";
inline constexpr std::string_view kMasteryBookUri = "/kiv-collections/v1/inventories/%1/mastery-book";
inline constexpr std::string_view kRuneQuantitiesUri = "/kiv-collections/v1/inventories/%1/runes";
inline constexpr std::string_view kSummonerIconsUri = "/kiv-collections/v1/inventories/%1/summoner-icons";
inline constexpr std::string_view kSummonerIconUri = "/kiv-collections/v2/inventories/%1/summoner-icons/%2";
inline constexpr std::string_view kChampionMasteryUri = "/kiv-collections/v1/inventories/%1/champion-mastery";
inline constexpr std::string_view kChestEligibilityUri = "/kiv-collections/v1/inventories/chest-eligibility";
inline constexpr std::string_view kWardSkinsUri = "/kiv-collections/v1/inventories/%1/ward-skins";
inline constexpr std::string_view kWardSkinUri = "/kiv-collections/v1/inventories/%1/ward-skins/%2";
inline constexpr std::string_view kBackdropUri = "/kiv-collections/v1/inventories/%1/backdrop";

}  // namespace Quarn::Client::Collections
