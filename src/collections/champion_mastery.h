// ChampionMastery: champion masteries and chest eligibility (GET
// .../champion-mastery, GET .../champion-mastery/top, GET
// .../chest-eligibility), the ChampionMasteryConfig settings Enabled (the
// routes refuse while it is false) and MaxChampionLevel (the most one
// mastery adds to the score), the per-summoner mastery cache, and the
// refresh of one champion after the backend reports a change.
//
// Masteries and chests come from the backend's "championMastery" service
// through service-proxy requests, whose answers arrive on a later host
// step; concurrent readers of the same summoner share one request. Every
// operation that reads the backend is [re-entrant].
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "binding/binding_property.h"
#include "binding/maybe_type.h"
#include "collections/api_types.h"
#include "collections/collection.h"
#include "collections/highest_mastery.h"
#include "collections/service_context.h"
#include "collections/shared_fetch.h"

namespace Quarn::Client::Collections {

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

// Other summoners' lists: at most this many are kept (the least recently
// used is dropped), each for this long. The logged-in summoner's stays.
inline constexpr size_t kOtherMasteryListsKept = 64;
inline constexpr std::chrono::minutes kOtherMasteryListLife{10};

class ChampionMastery : public Collection, public HighestMastery {
 public:
  using MasteryList = std::vector<Api::CollectionsChampionMastery>;

  explicit ChampionMastery(ServiceContext& context) : context_(context) {}

  void RegisterRoutes() override;
  // Subscribes to the Enabled and MaxChampionLevel settings, in that order.
  // [re-entrant: each setting's current value is fetched and applied at once]
  void Subscribe() override;
  // Reads the current summoner's masteries when none are cached.
  void AfterReconnect() override;
  // "championMastery": for the logged-in player, re-reads that champion's
  // mastery (or the whole list when none is cached) and publishes the list.
  // "championMasteryLootGrant": reads and publishes the chest eligibility.
  void OnDialogMessage(const std::string& type, const std::vector<std::string>& params) override;

  // Applies a value of the Enabled setting (lenient bool).
  void ApplyEnabled(const BindingProperty& value);
  // Applies a value of the MaxChampionLevel setting (lenient signed, 0
  // when unreadable).
  void ApplyMaxLevel(const BindingProperty& value);

  // GET .../champion-mastery. Answers from the cache when it holds the
  // summoner's list; otherwise reads it ("getAllChampionMasteries"), caches
  // it and, for the logged-in summoner, publishes it.
  // Failures: 503 "The champion mastery service is not available."; 403 "0
  // is an invalid summonerId."; 500 "Error requesting summoner champion
  // masteries for %1: %2".
  Maybe<MasteryList> GetAll(uint64_t summoner);
  // GET .../champion-mastery/top; `limit` absent: no limit. Any failure of
  // GetAll becomes 500 "Error requesting top summoner champion masteries
  // for %1: %2".
  Maybe<Api::CollectionsTopChampionMasteries> GetTop(uint64_t summoner, std::optional<uint32_t> limit,
                                                     const std::optional<std::string>& sort_rule);
  // GET .../chest-eligibility: the logged-in summoner's chests; not cached.
  // Failures: 503 "The champion mastery service is not available."; 503 "The
  // champion mastery service is only available for logged in summoner"; 500
  // "Error requesting summoner chest eligibility: %1".
  Maybe<Api::CollectionsChestEligibility> GetChests();
  // Re-reads the logged-in summoner's mastery of one champion
  // ("getChampionMastery"), puts it into their cached list and publishes
  // the list. A failure is logged and changes nothing.
  void RefreshChampion(int64_t champion_id);

  Maybe<int32_t> HighestMasteryChampion(uint64_t summoner) override;
  uint64_t enabled_count() const override { return enabled_count_; }

 private:
  struct Entry {
    MasteryList masteries;
    std::chrono::system_clock::time_point read_at;
    uint64_t last_use = 0;  // `uses_` at the last read
  };

  // The kept list of `summoner`, null when none is kept or another
  // summoner's list aged out (it is dropped then).
  const MasteryList* Kept(uint64_t summoner);
  // Keeps `masteries` for `summoner`, dropping the least recently used
  // other summoner's list beyond the limit.
  void Keep(uint64_t summoner, const MasteryList& masteries);
  void OnMasteryMessage(const std::string& parameter);

  ServiceContext& context_;
  bool enabled_ = false;
  int32_t max_level_ = 5;
  uint64_t enabled_count_ = 0;
  std::map<uint64_t, Entry> cache_;  // keyed by summoner: it cannot answer for the wrong one
  uint64_t uses_ = 0;
  SharedFetches<uint64_t, MasteryList> all_masteries_;                // by summoner
  SharedFetches<uint64_t, Api::CollectionsChestEligibility> chests_;  // by summoner
};

}  // namespace Quarn::Client::Collections
