// The fixed texts of the session, rune-book, mastery-book and inventory
// collections: route failures (positional "%1", filled by Quarn::Format)
// and log lines (printf forms, written through Quarn::Log).
#pragma once

#include <string_view>

namespace Quarn::Client::Collections::Msg {

// ---- route failures
inline constexpr std::string_view kZeroSummonerRuneBook = "0 is an invalid summonerId";  // no full stop
inline constexpr std::string_view kZeroSummoner = "0 is an invalid summonerId.";
inline constexpr std::string_view kZeroSummonerMasteryBook = "Cannot retrieve mastery book for summonerId 0.";
inline constexpr std::string_view kRequestRuneBook = "Error requesting rune book for %1: %2";
inline constexpr std::string_view kSaveRuneBook = "Failed to save rune book for %1: %2";
inline constexpr std::string_view kSelectRunePage = "Failed to select current rune page for %1: %2";
inline constexpr std::string_view kForeignRuneBook = "Attempted to modify another summoner's rune book.";
inline constexpr std::string_view kRunePageRules =
    "Rune pages cannot be created or deleted, and there must be only one current page.";
inline constexpr std::string_view kRunePageIdMismatch = "PUT id %1 does not match rune page id %2.";
inline constexpr std::string_view kRunePageCreate = "Rune pages cannot be created.";
inline constexpr std::string_view kRunePageMissing = "Rune page does not exist.";
inline constexpr std::string_view kVerificationSave = "Failed to save";
inline constexpr std::string_view kRequestMasteryBook = "Error requesting mastery book for %1: %2";
inline constexpr std::string_view kSaveMasteryBook = "Failed to save mastery book for %1: %2";
inline constexpr std::string_view kForeignMasteryBook =
    "Attempted to modify another summoner's mastery book.";
inline constexpr std::string_view kMasteryPageMissing = "Mastery page %1 does not exist.";
inline constexpr std::string_view kTooManyMasteryPages = "Attempted to create too many mastery pages.";
inline constexpr std::string_view kLastMasteryPage = "Attempted to delete the last mastery page.";
inline constexpr std::string_view kMasteryBookEmpty = "A mastery book must have at least one page.";
inline constexpr std::string_view kMasteryBookTooLarge = "A mastery book cannot have more than 20 pages.";
inline constexpr std::string_view kMasteryPageIdsRepeat = "Mastery page ids must be distinct.";
inline constexpr std::string_view kMasteryBookCurrentPages = "A mastery book can have only one current page.";
inline constexpr std::string_view kRequestRuneInventory =
    "Error requesting summoner rune inventory for %1: %2";
inline constexpr std::string_view kRequestIcons = "Error requesting summoner icons for %1: %2";
inline constexpr std::string_view kRequestSpells = "Error requesting summoner spells: %1";
inline constexpr std::string_view kRequestSummonerLevel = "Error requesting summoner level for %1: %2";
inline constexpr std::string_view kAccessZero = "Invalid summoner id.";
inline constexpr std::string_view kAccessNobody = "Data can only be retrieved by a logged-in summoner.";
inline constexpr std::string_view kAccessOther = "Data can only be retrieved for the logged-in summoner.";

// ---- log lines
inline constexpr const char* kLogReconnect = "Checking collections caches after reconnect.";
inline constexpr const char* kLogCheckWithoutSummoner =
    "Tried to check caches for an invalid summoner. (Summoner is not logged in yet.)";
inline constexpr const char* kLogRuneBookFailed = "Failed to retrieve rune book: %s";
inline constexpr const char* kLogMasteryBookFailed = "Failed to retrieve mastery book: %s";
inline constexpr const char* kLogRuneQuantitiesFailed = "Failed to retrieve rune quantities: %s";
inline constexpr const char* kLogMasteryDataFailed = "Error requesting summoner mastery data: %s";

}  // namespace Quarn::Client::Collections::Msg
