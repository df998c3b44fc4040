#include "collections/champion_mastery.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "binding/json_reader.h"
#include "binding/message_format.h"
#include "collections/resource_uris.h"
#include "collections/time_stamp.h"
#include "diagnostics/logger.h"
#include "runtime/service_proxy.h"

namespace Api = Quarn::Client::Collections::Api;
using Quarn::Client::Collections::ChampionMastery;
using MasteryList = ChampionMastery::MasteryList;

namespace {

constexpr std::string_view kEnabledUri = "/kiv-platform-config/v1/namespaces/ChampionMasteryConfig/Enabled";
constexpr std::string_view kMaxLevelUri =
    "/kiv-platform-config/v1/namespaces/ChampionMasteryConfig/MaxChampionLevel";
constexpr std::string_view kMasteryService = "championMastery";

constexpr std::string_view kMasteryUnavailable = "The champion mastery service is not available.";
constexpr std::string_view kMasteryNeedsLogin =
    "The champion mastery service is only available for logged in summoner";  // no full stop
constexpr std::string_view kRequestMasteries = "Error requesting summoner champion masteries for %1: %2";
constexpr std::string_view kRequestTopMasteries = "Error requesting top summoner champion masteries for %1: %2";
constexpr std::string_view kRequestChest = "Error requesting summoner chest eligibility: %1";
constexpr const char* kLogMasteryFailed = "Failed to get champion mastery: %s";
constexpr const char* kLogChestFailed = "Failed to get chest eligibility: %s";
constexpr const char* kLogChampionMasteryFailed = "Failed to get champion mastery for champion id %lld: %s";
constexpr const char* kLogDialogWithoutFields =
    "The msgBody SimpleDialog DTO does not contain gameId or championLevel";
constexpr const char* kLogMasteryMessage = "CollectionPlugins: Received 'championMastery' message for champion %d.";
constexpr const char* kLogLootGrantMessage = "CollectionPlugins: Received 'championMasteryLootGrant' message.";

Quarn::Failure Unavailable() { return Quarn::Failure(std::string(kMasteryUnavailable), 503); }

// The arguments of a call that takes none.
Quarn::BindingProperty NoArguments() {
  Quarn::BindingProperty list;
  list.MakeCollection();
  return list;
}

}  // namespace

Quarn::Client::Collections::MasterySortRule Quarn::Client::Collections::SortRuleOf(
    const std::optional<std::string>& rule) {
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

void ChampionMastery::RegisterRoutes() {
  BindingApi& api = context_.api();
  api.Get("/kiv-collections/v1/inventories/{summonerId}/champion-mastery",
          [this](uint64_t summoner) { return GetAll(summoner); })
      .Path("summonerId");
  api.Get("/kiv-collections/v1/inventories/{summonerId}/champion-mastery/top",
          [this](uint64_t summoner, std::optional<uint32_t> limit, std::optional<std::string> sort_rule) {
            return GetTop(summoner, limit, sort_rule);
          })
      .Path("summonerId")
      .Query("limit")
      .Query("sortRule");
  api.Get("/kiv-collections/v1/inventories/chest-eligibility", [this]() { return GetChests(); });
}

void ChampionMastery::Subscribe() {
  context_.module().ObserveResource<BindingProperty>(
      kEnabledUri, [this](const ResourceEvent<BindingProperty>& event) { ApplyEnabled(event.data); });
  context_.module().ObserveResource<BindingProperty>(
      kMaxLevelUri, [this](const ResourceEvent<BindingProperty>& event) { ApplyMaxLevel(event.data); });
}

void ChampionMastery::AfterReconnect() {
  const uint64_t summoner = context_.current_summoner();
  if (Kept(summoner) != nullptr) return;
  // It fills and publishes its own cache; a failure is logged there.
  (void)GetAll(summoner);
}

void ChampionMastery::OnDialogMessage(const std::string& type, const std::vector<std::string>& params) {
  if (type == "championMastery" && !params.empty()) {
    OnMasteryMessage(params.front());
  } else if (type == "championMasteryLootGrant") {
    Log(kLogAlways, kChannelDbg, "%s", kLogLootGrantMessage);
    Maybe<Api::CollectionsChestEligibility> chests = GetChests();
    if (chests.ok()) context_.Publish(kChestEligibilityUri, chests.value());
  }
}

void ChampionMastery::ApplyEnabled(const BindingProperty& value) {
  enabled_ = ReadBool(value);
  if (enabled_) ++enabled_count_;
}

void ChampionMastery::ApplyMaxLevel(const BindingProperty& value) {
  max_level_ = static_cast<int32_t>(ReadSigned(value, 0));
}

Quarn::Maybe<MasteryList> ChampionMastery::GetAll(uint64_t summoner) {
  if (!enabled_) return Unavailable();
  if (summoner == 0) return Failure(std::string(kZeroSummonerText), 403);
  if (const MasteryList* kept = Kept(summoner)) return *kept;

  Maybe<MasteryList> read =
      all_masteries_.Join(context_.module(), summoner, [this, summoner](AppModule::ServiceProxyCallback done) {
        return context_.module().ServiceProxyRequest(kMasteryService, "getAllChampionMasteries", summoner, {}, {},
                                                     std::move(done));
      });
  if (read.HasFailure()) {
    const std::string message(read.FailureMessage());
    Log(kLogError, kChannelDbg, kLogMasteryFailed, message.c_str());
    return Failure(Format(kRequestMasteries, summoner, message), 500);
  }
  // The wait may have let a session event through: read the state afresh.
  Keep(summoner, read.value());
  if (summoner == context_.current_summoner()) {
    context_.Publish(Format(kChampionMasteryUri, summoner), read.value());
  }
  return read;
}

Quarn::Maybe<Api::CollectionsTopChampionMasteries> ChampionMastery::GetTop(
    uint64_t summoner, std::optional<uint32_t> limit, const std::optional<std::string>& sort_rule) {
  Maybe<MasteryList> all = GetAll(summoner);
  if (all.HasFailure()) return Failure(Format(kRequestTopMasteries, summoner, all.FailureMessage()), 500);

  Api::CollectionsTopChampionMasteries top;
  top.summoner_id = summoner;
  top.score = MasteryScore(all.value(), max_level_);
  top.masteries = TopMasteries(all.TakeValue(), limit, SortRuleOf(sort_rule));
  return top;
}

Quarn::Maybe<Api::CollectionsChestEligibility> ChampionMastery::GetChests() {
  if (!enabled_) return Unavailable();
  const SessionState& session = context_.session();
  if (!session.logged_in || session.current_summoner == 0) return Failure(std::string(kMasteryNeedsLogin), 503);
  Maybe<Api::CollectionsChestEligibility> chests =
      chests_.Join(context_.module(), session.current_summoner, [this](AppModule::ServiceProxyCallback done) {
        return context_.module().ServiceProxyRequest(kMasteryService, "getChampionMasteryScoreAndChest",
                                                     NoArguments(), {}, {}, std::move(done));
      });
  if (chests.HasFailure()) {
    const std::string message(chests.FailureMessage());
    Log(kLogError, kChannelDbg, kLogChestFailed, message.c_str());
    return Failure(Format(kRequestChest, message), 500);
  }
  return chests;
}

void ChampionMastery::RefreshChampion(int64_t champion_id) {
  const uint64_t summoner = context_.current_summoner();
  BindingProperty arguments;
  arguments.MakeCollection();
  arguments.Append().SetUnsigned(summoner);
  arguments.Append().SetSigned(champion_id);
  Maybe<Api::CollectionsChampionMastery> mastery =
      context_.module().CallServiceProxy<Api::CollectionsChampionMastery>(kMasteryService, "getChampionMastery",
                                                                          arguments);
  if (mastery.HasFailure()) {
    const std::string message(mastery.FailureMessage());
    Log(kLogError, kChannelDbg, kLogChampionMasteryFailed, static_cast<long long>(champion_id), message.c_str());
    return;
  }
  // The answer is about the summoner asked for, even if the session moved
  // on during the wait: file it under that summoner.
  MasteryList& list = cache_[summoner].masteries;
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
  context_.Publish(Format(kChampionMasteryUri, summoner), published);
}

Quarn::Maybe<int32_t> ChampionMastery::HighestMasteryChampion(uint64_t summoner) {
  QUARN_ASSIGN_OR_RETURN(const Api::CollectionsTopChampionMasteries top, GetTop(summoner, 1, std::nullopt));
  return top.masteries.empty() ? 0 : top.masteries.front().champion_id;
}

const MasteryList* ChampionMastery::Kept(uint64_t summoner) {
  const auto found = cache_.find(summoner);
  if (found == cache_.end()) return nullptr;
  const bool logged_in = summoner == context_.current_summoner();
  if (!logged_in && Now() - found->second.read_at >= kOtherMasteryListLife) {
    cache_.erase(found);
    return nullptr;
  }
  found->second.last_use = ++uses_;
  return &found->second.masteries;
}

void ChampionMastery::Keep(uint64_t summoner, const MasteryList& masteries) {
  cache_[summoner] = {masteries, Now(), ++uses_};
  const uint64_t current = context_.current_summoner();
  size_t others = 0;
  auto oldest = cache_.end();
  for (auto entry = cache_.begin(); entry != cache_.end(); ++entry) {
    if (entry->first == current) continue;
    ++others;
    if (oldest == cache_.end() || entry->second.last_use < oldest->second.last_use) oldest = entry;
  }
  if (others > kOtherMasteryListsKept) cache_.erase(oldest);
}

void ChampionMastery::OnMasteryMessage(const std::string& parameter) {
  const BindingResult parsed = FromJson(parameter);
  const BindingProperty& body = parsed.ok() ? parsed.value : BindingProperty::EmptyValue();
  if (body.FindMember("gameId") == nullptr || body.FindMember("championLevel") == nullptr) {
    Log(kLogError, kChannelDbg, "%s", kLogDialogWithoutFields);
    return;
  }
  const BindingProperty* player = body.FindMember("playerId");
  const BindingProperty* champion = body.FindMember("championId");
  const uint64_t player_id = player != nullptr ? ReadUnsigned(*player, 0) : 0;
  const int32_t champion_id = champion != nullptr ? static_cast<int32_t>(ReadSigned(*champion, 0)) : 0;
  Log(kLogAlways, kChannelDbg, kLogMasteryMessage, champion_id);

  const uint64_t summoner = context_.current_summoner();
  // Nobody logged in is nobody's message, even one without a player id.
  if (summoner == 0 || player_id != summoner) return;
  if (Kept(summoner) != nullptr) {
    RefreshChampion(champion_id);
  } else {
    // Fetches, caches and publishes the whole list; failures are logged there.
    (void)GetAll(summoner);
  }
}
