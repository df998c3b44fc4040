// Champion mastery and chest eligibility: routes 15-17, the two platform
// settings that switch the service on and cap the level counted in the
// score, the per-summoner mastery cache, and the refresh of one champion
// after the backend reports a change.
//
// Masteries and chests come from the backend's "championMastery" service
// through service-proxy requests, whose answers arrive on a later host
// step: every operation that reads the backend awaits and is
// [re-entrant: other callbacks may run before this returns].
// The service is borrowed for the duration of each call.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "binding/binding_property.h"
#include "binding/maybe_type.h"
#include "collections/api_types.h"

namespace Quarn::Client::Collections {

class CollectionsService;

// How the top list is ordered: by level then points (the default), or by
// points then level ("points", exactly). Both descending.
enum class MasterySortRule { kLevel, kPoints };

MasterySortRule SortRuleOf(const std::optional<std::string>& rule);

// Whether `a` ranks above `b` under `rule`.
bool RanksAbove(const Api::CollectionsChampionMastery& a, const Api::CollectionsChampionMastery& b,
                MasterySortRule rule);

// The sum over every mastery of its level capped at `max_level`. A level
// (or cap) below 0 adds nothing rather than wrapping the unsigned score.
uint64_t MasteryScore(const std::vector<Api::CollectionsChampionMastery>& masteries, int32_t max_level);

// The `limit` best masteries under `rule`, best first; all of them, sorted,
// when `limit` is absent or at least the list's length. Equal masteries
// come in no defined order.
std::vector<Api::CollectionsChampionMastery> TopMasteries(
    std::vector<Api::CollectionsChampionMastery> masteries, std::optional<uint32_t> limit,
    MasterySortRule rule);

// Registers routes 15, 16 and 17 in table order.
void RegisterChampionMasteryRoutes(CollectionsService& service);
// Subscribes to the "Enabled" and "MaxChampionLevel" settings of the
// "ChampionMasteryConfig" namespace, in that order. [re-entrant: each
// setting's current value is fetched and applied at once]
void SubscribeChampionMasterySettings(CollectionsService& service);

// Applies a value of the "Enabled" setting (lenient bool). Setting it to
// true also clears the highest-mastery backdrop cache, which was filled
// while masteries could not be read.
void ApplyMasteryEnabled(CollectionsService& service, const BindingProperty& value);
// Applies a value of the "MaxChampionLevel" setting (lenient signed, 0
// when unreadable).
void ApplyMaxChampionLevel(CollectionsService& service, const BindingProperty& value);

// Route 15. Answers from the cache when it holds the summoner's list;
// otherwise reads it ("getAllChampionMasteries"), caches it and, for the
// logged-in summoner, publishes it.
// Failures: 503 "The champion mastery service is not available."; 403 "0 is
// an invalid summonerId."; 500 "Error requesting summoner champion
// masteries for %1: %2".
Maybe<std::vector<Api::CollectionsChampionMastery>> GetChampionMasteries(CollectionsService& service,
                                                                         uint64_t summoner);
// Route 16 (and the backdrop's highest-mastery source, with limit 1).
// `limit` absent: no limit. Any failure of route 15 becomes 500 "Error
// requesting top summoner champion masteries for %1: %2".
Maybe<Api::CollectionsTopChampionMasteries> GetTopChampionMasteries(
    CollectionsService& service, uint64_t summoner, std::optional<uint32_t> limit,
    const std::optional<std::string>& sort_rule);
// Route 17: the logged-in summoner's chests; not cached.
// Failures: 503 "The champion mastery service is not available."; 503 "The
// champion mastery service is only available for logged in summoner"; 500
// "Error requesting summoner chest eligibility: %1".
Maybe<Api::CollectionsChestEligibility> GetChestEligibility(CollectionsService& service);

// Re-reads the logged-in summoner's mastery of one champion
// ("getChampionMastery"), puts it into their cached list (replacing that
// champion's entry or appending) and publishes the whole list. A failure
// is logged and changes nothing.
void RefreshChampionMastery(CollectionsService& service, int64_t champion_id);
// Whether the cache holds a list for `summoner`.
bool HasChampionMasteries(CollectionsService& service, uint64_t summoner);

}  // namespace Quarn::Client::Collections
