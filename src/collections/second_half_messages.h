// The fixed texts of the champion-mastery, ward-skin, backdrop and
// notification collections: route failures (positional "%1", filled by
// Quarn::Format) and log lines (printf forms, written through Quarn::Log).
// The access-check and zero-summoner texts shared with the first half are
// in collections/collections_messages.h.
#pragma once

#include <string_view>

namespace Quarn::Client::Collections::Msg {

// ---- route failures
inline constexpr std::string_view kMasteryUnavailable = "The champion mastery service is not available.";
inline constexpr std::string_view kMasteryNeedsLogin =
    "The champion mastery service is only available for logged in summoner";  // no full stop
inline constexpr std::string_view kRequestMasteries =
    "Error requesting summoner champion masteries for %1: %2";
inline constexpr std::string_view kRequestTopMasteries =
    "Error requesting top summoner champion masteries for %1: %2";
inline constexpr std::string_view kRequestChest = "Error requesting summoner chest eligibility: %1";
inline constexpr std::string_view kRequestSelectableWardSkins = "Failed to request selectable ward skins: %1";
inline constexpr std::string_view kRequestWardSkinData = "Error requesting ward skin data: %1";
inline constexpr std::string_view kNoWardSkin = "No available ward skin with id %1";
inline constexpr std::string_view kRequestSummonerData = "Error requesting summoner data for %1.";

// ---- log lines
inline constexpr const char* kLogMasteryFailed = "Failed to get champion mastery: %s";
inline constexpr const char* kLogChestFailed = "Failed to get chest eligibility: %s";
inline constexpr const char* kLogChampionMasteryFailed =
    "Failed to get champion mastery for champion id %lld: %s";
inline constexpr const char* kLogWardSkinsFailed = "Failed to retrieve ward skins: %s";
inline constexpr const char* kLogInvalidSummoner = "%lli is an invalid Summoner ID";
inline constexpr const char* kLogSummonerDataFailed = "Error requesting summoner data for %lli: %s";
inline constexpr const char* kLogRecentGamesFailed = "Failed to retrieve recently played champs: %s";
inline constexpr const char* kLogMostPlayed =
    "kiv-collections: Player's most played champion (ID: %d) only had %d games played.";
inline constexpr const char* kLogSplashFailed = "Failed to get splash metadata (champion ID: %d).";
inline constexpr const char* kLogItemProperties =
    "Failed to retrieve item properties from fulfilment notifcation: %s";  // sic: the established text
inline constexpr const char* kLogDialogWithoutFields =
    "The msgBody SimpleDialog DTO does not contain gameId or championLevel";
inline constexpr const char* kLogMasteryMessage =
    "CollectionPlugins: Received 'championMastery' message for champion %d.";
inline constexpr const char* kLogLootGrantMessage =
    "CollectionPlugins: Received 'championMasteryLootGrant' message.";

}  // namespace Quarn::Client::Collections::Msg
