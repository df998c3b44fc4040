#include "collections/champion_mastery.h"

#include <algorithm>
#include <chrono>
#include <string_view>
#include <utility>

#include "binding/message_format.h"
#include "collections/backdrop.h"
#include "collections/collections_messages.h"
#include "collections/collections_service.h"
#include "collections/resource_uris.h"
#include "collections/second_half_messages.h"
#include "collections/service_parts.h"
#include "collections/time_stamp.h"
#include "diagnostics/logger.h"
#include "runtime/service_proxy.h"

namespace Collections = Quarn::Client::Collections;
namespace Api = Quarn::Client::Collections::Api;
using MasteryList = std::vector<Api::CollectionsChampionMastery>;

namespace {

constexpr std::string_view kEnabledUri = "/kiv-platform-config/v1/namespaces/ChampionMasteryConfig/Enabled";
constexpr std::string_view kMaxLevelUri =
    "/kiv-platform-config/v1/namespaces/ChampionMasteryConfig/MaxChampionLevel";
constexpr std::string_view kMasteryService = "championMastery";

Quarn::Failure Unavailable() {
  return Quarn::Failure(std::string(Collections::Msg::kMasteryUnavailable), 503);
}

// The arguments of a call that takes none.
Quarn::BindingProperty NoArguments() {
  Quarn::BindingProperty list;
  list.MakeCollection();
  return list;
}

// Other summoners' lists: at most this many are kept, each for this long.
constexpr size_t kOtherSummonersKept = 64;
constexpr std::chrono::minutes kOtherSummonerListLife{10};

// The kept list of `summoner`, null when none is kept or another
// summoner's list has aged out (it is dropped then).
const MasteryList* KeptMasteries(Collections::CollectionsService& service, uint64_t summoner) {
  Collections::ChampionMasteryState& state = service.second_half().champion_mastery;
  const auto found = state.cache.find(summoner);
  if (found == state.cache.end()) return nullptr;
  const bool logged_in = summoner == service.state().session.current_summoner;
  if (!logged_in && Collections::Now() - found->second.read_at >= kOtherSummonerListLife) {
    state.cache.erase(found);
    return nullptr;
  }
  found->second.last_use = ++state.uses;
  return &found->second.masteries;
}

// Keeps `masteries` as `summoner`'s list, dropping the least recently used
// other summoner's list beyond the limit.
void KeepMasteries(Collections::CollectionsService& service, uint64_t summoner, const MasteryList& masteries) {
  Collections::ChampionMasteryState& state = service.second_half().champion_mastery;
  state.cache[summoner] = {masteries, Collections::Now(), ++state.uses};
  const uint64_t current = service.state().session.current_summoner;
  size_t others = 0;
  auto oldest = state.cache.end();
  for (auto entry = state.cache.begin(); entry != state.cache.end(); ++entry) {
    if (entry->first == current) continue;
    ++others;
    if (oldest == state.cache.end() || entry->second.last_use < oldest->second.last_use) oldest = entry;
  }
  if (others > kOtherSummonersKept) state.cache.erase(oldest);
}

}  // namespace

Collections::MasterySortRule Quarn::Client::Collections::SortRuleOf(const std::optional<std::string>& rule) {
  return rule.has_value() && *rule == "points" ? MasterySortRule::kPoints : MasterySortRule::kLevel;
}

bool Quarn::Client::Collections::RanksAbove(const Api::CollectionsChampionMastery& a,
                                            const Api::CollectionsChampionMastery& b, MasterySortRule rule) {
  if (rule == MasterySortRule::kPoints) {
    if (a.champion_points != b.champion_points) return a.champion_points > b.champion_points;
    return a.champion_level > b.champion_level;
  }
  if (a.champion_level != b.champion_level) return a.champion_level > b.champion_level;
  return a.champion_points > b.champion_points;
}

uint64_t Quarn::Client::Collections::MasteryScore(const MasteryList& masteries, int32_t max_level) {
  uint64_t score = 0;
  for (const Api::CollectionsChampionMastery& mastery : masteries) {
    const int32_t counted = std::min(mastery.champion_level, max_level);
    // A negative term would wrap the unsigned sum into nonsense.
    if (counted > 0) score += static_cast<uint64_t>(counted);
  }
  return score;
}

MasteryList Quarn::Client::Collections::TopMasteries(MasteryList masteries, std::optional<uint32_t> limit,
                                                     MasterySortRule rule) {
  const size_t n = limit.has_value() ? std::min<size_t>(masteries.size(), *limit) : masteries.size();
  const auto above = [rule](const Api::CollectionsChampionMastery& a,
                            const Api::CollectionsChampionMastery& b) { return RanksAbove(a, b, rule); };
  std::partial_sort(masteries.begin(), masteries.begin() + static_cast<std::ptrdiff_t>(n), masteries.end(),
                    above);
  masteries.resize(n);
  return masteries;
}

void Quarn::Client::Collections::RegisterChampionMasteryRoutes(CollectionsService& service) {
  service.api()
      .Get("/kiv-collections/v1/inventories/{summonerId}/champion-mastery",
           [&service](uint64_t summoner_id) { return GetChampionMasteries(service, summoner_id); })
      .Path("summonerId");
  service.api()
      .Get("/kiv-collections/v1/inventories/{summonerId}/champion-mastery/top",
           [&service](uint64_t summoner_id, std::optional<uint32_t> limit,
                      std::optional<std::string> sort_rule) {
             return GetTopChampionMasteries(service, summoner_id, limit, sort_rule);
           })
      .Path("summonerId")
      .Query("limit")
      .Query("sortRule");
  service.api().Get("/kiv-collections/v1/inventories/chest-eligibility",
                    [&service]() { return GetChestEligibility(service); });
}

void Quarn::Client::Collections::SubscribeChampionMasterySettings(CollectionsService& service) {
  service.ObserveResource<BindingProperty>(
      kEnabledUri,
      [&service](const ResourceEvent<BindingProperty>& event) { ApplyMasteryEnabled(service, event.data); });
  service.ObserveResource<BindingProperty>(kMaxLevelUri,
                                           [&service](const ResourceEvent<BindingProperty>& event) {
                                             ApplyMaxChampionLevel(service, event.data);
                                           });
}

void Quarn::Client::Collections::ApplyMasteryEnabled(CollectionsService& service,
                                                     const BindingProperty& value) {
  const bool enabled = ReadBool(value);
  service.second_half().champion_mastery.enabled = enabled;
  if (enabled) ClearHighestMasteryBackdrops(service);
}

void Quarn::Client::Collections::ApplyMaxChampionLevel(CollectionsService& service,
                                                       const BindingProperty& value) {
  service.second_half().champion_mastery.max_level = static_cast<int32_t>(ReadSigned(value, 0));
}

Quarn::Maybe<MasteryList> Quarn::Client::Collections::GetChampionMasteries(CollectionsService& service,
                                                                           uint64_t summoner) {
  if (!service.second_half().champion_mastery.enabled) return Unavailable();
  if (summoner == 0) return Failure(std::string(Msg::kZeroSummoner), 403);
  if (const MasteryList* kept = KeptMasteries(service, summoner)) return *kept;

  Maybe<MasteryList> read = service.second_half().champion_mastery.all_masteries.Join(
      service, summoner, [&service, summoner](AppModule::ServiceProxyCallback done) {
        return service.ServiceProxyRequest(kMasteryService, "getAllChampionMasteries", summoner, {}, {},
                                           std::move(done));
      });
  if (read.HasFailure()) {
    const std::string message(read.FailureMessage());
    Log(kLogError, kChannelDbg, Msg::kLogMasteryFailed, message.c_str());
    return Failure(Format(Msg::kRequestMasteries, summoner, message), 500);
  }
  // The wait may have let a session event through: read the state afresh.
  KeepMasteries(service, summoner, read.value());
  if (summoner == service.state().session.current_summoner) {
    service.Publish(Format(kChampionMasteryUri, summoner), read.value());
  }
  return read;
}

Quarn::Maybe<Api::CollectionsTopChampionMasteries> Quarn::Client::Collections::GetTopChampionMasteries(
    CollectionsService& service, uint64_t summoner, std::optional<uint32_t> limit,
    const std::optional<std::string>& sort_rule) {
  Maybe<MasteryList> all = GetChampionMasteries(service, summoner);
  if (all.HasFailure())
    return Failure(Format(Msg::kRequestTopMasteries, summoner, all.FailureMessage()), 500);

  Api::CollectionsTopChampionMasteries top;
  top.summoner_id = summoner;
  top.score = MasteryScore(all.value(), service.second_half().champion_mastery.max_level);
  top.masteries = TopMasteries(all.TakeValue(), limit, SortRuleOf(sort_rule));
  return top;
}

Quarn::Maybe<Api::CollectionsChestEligibility> Quarn::Client::Collections::GetChestEligibility(
    CollectionsService& service) {
  if (!service.second_half().champion_mastery.enabled) return Unavailable();
  const SessionState& session = service.state().session;
  if (!session.logged_in || session.current_summoner == 0) {
    return Failure(std::string(Msg::kMasteryNeedsLogin), 503);
  }
  Maybe<Api::CollectionsChestEligibility> chests = service.second_half().champion_mastery.chests.Join(
      service, session.current_summoner, [&service](AppModule::ServiceProxyCallback done) {
        return service.ServiceProxyRequest(kMasteryService, "getChampionMasteryScoreAndChest", NoArguments(),
                                           {}, {}, std::move(done));
      });
  if (chests.HasFailure()) {
    const std::string message(chests.FailureMessage());
    Log(kLogError, kChannelDbg, Msg::kLogChestFailed, message.c_str());
    return Failure(Format(Msg::kRequestChest, message), 500);
  }
  return chests;
}

void Quarn::Client::Collections::RefreshChampionMastery(CollectionsService& service, int64_t champion_id) {
  const uint64_t summoner = service.state().session.current_summoner;
  BindingProperty arguments;
  arguments.MakeCollection();
  arguments.Append().SetUnsigned(summoner);
  arguments.Append().SetSigned(champion_id);
  Maybe<Api::CollectionsChampionMastery> mastery = service.CallServiceProxy<Api::CollectionsChampionMastery>(
      kMasteryService, "getChampionMastery", arguments);
  if (mastery.HasFailure()) {
    const std::string message(mastery.FailureMessage());
    Log(kLogError, kChannelDbg, Msg::kLogChampionMasteryFailed, static_cast<long long>(champion_id),
        message.c_str());
    return;
  }
  // The answer is about the summoner asked for, even if the session moved
  // on during the wait: file it under that summoner.
  MasteryList& list = service.second_half().champion_mastery.cache[summoner].masteries;
  const auto same = std::find_if(list.begin(), list.end(), [champion_id](const auto& entry) {
    return static_cast<int64_t>(entry.champion_id) == champion_id;
  });
  if (same != list.end()) {
    *same = mastery.value();
  } else {
    list.push_back(mastery.value());
  }
  // Publishing may step the host, which may change the cache: send a copy.
  const MasteryList published = list;
  service.Publish(Format(kChampionMasteryUri, summoner), published);
}

bool Quarn::Client::Collections::HasChampionMasteries(CollectionsService& service, uint64_t summoner) {
  return KeptMasteries(service, summoner) != nullptr;
}

void Quarn::Client::Collections::CheckChampionMasteryAfterReconnect(CollectionsService& service) {
  const uint64_t summoner = service.state().session.current_summoner;
  if (HasChampionMasteries(service, summoner)) return;
  // It fills and publishes its own cache; a failure is logged there.
  (void)GetChampionMasteries(service, summoner);
}
