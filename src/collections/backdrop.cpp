#include "collections/backdrop.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "binding/message_format.h"
#include "collections/resource_uris.h"
#include "diagnostics/logger.h"
#include "runtime/outbound_request.h"

namespace Api = Quarn::Client::Collections::Api;
using Api::CollectionsSummonerBackdrop;
using Api::CollectionsSummonerBackdropType;
using Quarn::Client::Collections::Backdrop;

namespace {

constexpr std::string_view kRecentGamesUri = "/kiv-acs/v2/recently-played-champions/current-summoner";
constexpr std::string_view kCurrentSummonerUri = "/kiv-summoner/v1/current-summoner";
constexpr std::string_view kSummonerUri = "/kiv-summoner/v1/summoners/%1";
constexpr std::string_view kIconVideoUri = "/kiv-game-data/assets/v1/summoner-backdrops/%1.webm";
constexpr std::string_view kIconImageUri = "/kiv-game-data/assets/v1/summoner-backdrops/%1.jpg";
constexpr std::string_view kGamesByAccountUri = "/kiv-acs/v1/recently-played-champions/%1";
constexpr std::string_view kSplashMetadataUri = "/kiv-game-data/assets/v1/champion-splashes/%1/metadata.json";
constexpr std::string_view kSplashImageUri = "/kiv-game-data/assets/v1/champion-splashes/%1/%2.jpg";
constexpr uint32_t kMostRecentGamesCounted = 20;

constexpr std::string_view kRequestSummonerData = "Error requesting summoner data for %1.";
constexpr const char* kLogInvalidSummoner = "%lli is an invalid Summoner ID";
constexpr const char* kLogSummonerDataFailed = "Error requesting summoner data for %lli: %s";
constexpr const char* kLogRecentGamesFailed = "Failed to retrieve recently played champs: %s";
constexpr const char* kLogMostPlayed =
    "kiv-collections: Player's most played champion (ID: %d) only had %d games played.";
constexpr const char* kLogSplashFailed = "Failed to get splash metadata (champion ID: %d).";

CollectionsSummonerBackdrop DefaultBackdrop() {
  CollectionsSummonerBackdrop backdrop;
  backdrop.profile_icon_id = -1;
  backdrop.backdrop_type = CollectionsSummonerBackdropType::kDefault;
  backdrop.backdrop_mask_color = "#000000";
  return backdrop;
}

// Whether an existence check answered for sure: found, or not there.
enum class Existence { kFound, kAbsent, kUnknown };

Existence AssetExists(Quarn::PluginBase& module, const std::string& uri) {
  Quarn::Maybe<void> head = module.Request(Quarn::Method::Head, uri);
  if (head.ok()) return Existence::kFound;
  return head.failure().code() == 404 ? Existence::kAbsent : Existence::kUnknown;
}

}  // namespace

Quarn::Client::Collections::MostPlayed Quarn::Client::Collections::MostPlayedChampion(
    const Api::AcsChampionGamesCollection& games) {
  const size_t counted = std::min(
      {static_cast<size_t>(games.game_count), size_t{kMostRecentGamesCounted}, games.champions.size()});
  std::map<int32_t, int32_t> counts;
  MostPlayed best;
  for (size_t i = 0; i < counted; ++i) {
    const int32_t champion_id = games.champions[i].champion_id;
    const int32_t count = ++counts[champion_id];
    // Strictly more: of equal counts the champion that got there first stays.
    if (count > best.games) best = MostPlayed{champion_id, count};
  }
  return best;
}

void Backdrop::RegisterRoutes() {
  context_.api()
      .Get("/kiv-collections/v1/inventories/{summonerId}/backdrop",
           [this](uint64_t summoner) { return Get(summoner, /*refresh=*/false); })
      .Path("summonerId");
}

void Backdrop::Subscribe() {
  context_.module().ObserveResource<Api::AcsChampionGamesCollection>(
      kRecentGamesUri,
      [this](const ResourceEvent<Api::AcsChampionGamesCollection>& event) { OnRecentGames(event); });
  context_.module().ObserveResource<Api::Summoner>(
      kCurrentSummonerUri, [this](const ResourceEvent<Api::Summoner>& /*event*/) { OnCurrentSummoner(); });
}

Quarn::Maybe<CollectionsSummonerBackdrop> Backdrop::Get(uint64_t summoner, bool refresh) {
  const std::optional<CollectionsSummonerBackdrop> data = SummonerData(summoner, refresh);
  if (!data.has_value()) return Failure(Format(kRequestSummonerData, summoner), 500);

  CollectionsSummonerBackdrop backdrop = DefaultBackdrop();
  backdrop.summoner_id = data->summoner_id;
  backdrop.account_id = data->account_id;
  backdrop.profile_icon_id = data->profile_icon_id;

  const CollectionsSummonerBackdrop icon = IconAssets(summoner, data->profile_icon_id, refresh);
  if (!icon.backdrop_image.empty() || !icon.backdrop_video.empty()) {
    backdrop.backdrop_image = icon.backdrop_image;
    backdrop.backdrop_video = icon.backdrop_video;
    backdrop.backdrop_type = CollectionsSummonerBackdropType::kSummonerIcon;
    return backdrop;
  }

  if (const int32_t champion_id = RecentlyPlayedChampion(summoner, data->account_id); champion_id != 0) {
    backdrop.champion_id = champion_id;
    backdrop.backdrop_type = CollectionsSummonerBackdropType::kRecentlyPlayed;
    ApplyChampionSplash(backdrop, champion_id);
    return backdrop;
  }

  if (const int32_t champion_id = HighestMasteryChampion(summoner); champion_id != 0) {
    backdrop.champion_id = champion_id;
    backdrop.backdrop_type = CollectionsSummonerBackdropType::kHighestMastery;
    ApplyChampionSplash(backdrop, champion_id);
  }
  return backdrop;
}

void Backdrop::OnRecentGames(const ResourceEvent<Api::AcsChampionGamesCollection>& event) {
  if (event.event_type != PluginResourceEventType::Create && event.event_type != PluginResourceEventType::Update) {
    return;
  }
  const SessionState& session = context_.session();
  if (!session.logged_in) return;
  state_.recent_games = event.data;
  state_.recent_games_summoner = session.current_summoner;
  state_.recently_played.erase(session.current_summoner);
  Publish(session.current_summoner, /*refresh=*/false);
}

void Backdrop::OnCurrentSummoner() { Publish(context_.current_summoner(), /*refresh=*/true); }

// The summoner's id, account and icon; nullopt when unreadable.
std::optional<CollectionsSummonerBackdrop> Backdrop::SummonerData(uint64_t summoner, bool refresh) {
  if (!refresh) {
    if (const auto found = state_.summoner_data.find(summoner); found != state_.summoner_data.end()) {
      return found->second;
    }
  }
  if (summoner == 0) {
    Log(kLogError, kChannelDbg, kLogInvalidSummoner, 0LL);
    return std::nullopt;
  }
  Maybe<Api::Summoner> read = context_.module().Request<Api::Summoner>(Method::Get, Format(kSummonerUri, summoner));
  if (read.HasFailure()) {
    const std::string message(read.FailureMessage());
    Log(kLogError, kChannelDbg, kLogSummonerDataFailed, static_cast<long long>(summoner), message.c_str());
    // Not kept: a default kept here would answer as a success from now on.
    return std::nullopt;
  }
  CollectionsSummonerBackdrop data = DefaultBackdrop();
  data.summoner_id = read->summoner_id;
  data.account_id = read->account_id;
  data.profile_icon_id = read->profile_icon_id;
  state_.summoner_data[summoner] = data;
  return data;
}

// The icon's own backdrop paths (both empty when it has none).
CollectionsSummonerBackdrop Backdrop::IconAssets(uint64_t summoner, int32_t icon_id, bool refresh) {
  if (!refresh) {
    if (const auto found = state_.icon_assets.find(summoner); found != state_.icon_assets.end()) {
      return found->second;
    }
  }
  const std::string video = Format(kIconVideoUri, icon_id);
  const std::string image = Format(kIconImageUri, icon_id);
  const Existence has_video = AssetExists(context_.module(), video);
  const Existence has_image = AssetExists(context_.module(), image);
  CollectionsSummonerBackdrop assets = DefaultBackdrop();
  if (has_video == Existence::kFound) assets.backdrop_video = video;
  if (has_image == Existence::kFound) assets.backdrop_image = image;
  // A check that failed for another reason than absence proves nothing.
  if (has_video != Existence::kUnknown && has_image != Existence::kUnknown) state_.icon_assets[summoner] = assets;
  return assets;
}

// The champion most played recently, 0 when none qualifies.
int32_t Backdrop::RecentlyPlayedChampion(uint64_t summoner, uint64_t account) {
  if (const auto found = state_.recently_played.find(summoner); found != state_.recently_played.end()) {
    return found->second.champion_id;
  }
  const SessionState& session = context_.session();
  Api::AcsChampionGamesCollection games;
  if (session.logged_in && summoner == session.current_summoner && state_.recent_games_summoner == summoner) {
    games = state_.recent_games;
  } else {
    // Another summoner, or the logged-in one before their recent games
    // arrived: ask by account.
    Maybe<Api::AcsChampionGamesCollection> read =
        context_.module().Request<Api::AcsChampionGamesCollection>(Method::Get, Format(kGamesByAccountUri, account));
    if (read.HasFailure()) {
      const std::string message(read.FailureMessage());
      Log(kLogError, kChannelDbg, kLogRecentGamesFailed, message.c_str());
      return 0;  // not kept: the next request asks again
    }
    games = read.TakeValue();
  }

  int32_t champion_id = 0;
  if (games.game_count != 0) {
    const MostPlayed best = MostPlayedChampion(games);
    if (best.Qualifies()) {
      champion_id = best.champion_id;
    } else {
      Log(kLogAlways, kChannelDbg, kLogMostPlayed, best.champion_id, best.games);
    }
  }
  CollectionsSummonerBackdrop choice = DefaultBackdrop();
  choice.champion_id = champion_id;
  state_.recently_played[summoner] = choice;
  return champion_id;
}

// The champion of highest mastery, 0 when none.
int32_t Backdrop::HighestMasteryChampion(uint64_t summoner) {
  // Choices made before the Enabled setting last turned true may have been
  // made without masteries.
  if (seen_enabled_count_ != masteries_.enabled_count()) {
    state_.highest_mastery.clear();
    seen_enabled_count_ = masteries_.enabled_count();
  }
  if (const auto found = state_.highest_mastery.find(summoner); found != state_.highest_mastery.end()) {
    return found->second.champion_id;
  }
  Maybe<int32_t> champion = masteries_.HighestMasteryChampion(summoner);
  if (champion.HasFailure()) return 0;  // falls through to the default; not kept, so it is asked again
  CollectionsSummonerBackdrop choice = DefaultBackdrop();
  choice.champion_id = champion.value();
  state_.highest_mastery[summoner] = choice;
  return choice.champion_id;
}

void Backdrop::ApplyChampionSplash(CollectionsSummonerBackdrop& backdrop, int32_t champion_id) {
  Maybe<Api::GameDataSplashMetadata> metadata = context_.module().Request<Api::GameDataSplashMetadata>(
      Method::Get, Format(kSplashMetadataUri, champion_id));
  if (metadata.HasFailure()) {
    Log(kLogError, kChannelDbg, kLogSplashFailed, champion_id);
    return;
  }
  // The base skin's number is the champion's id times 1000.
  backdrop.backdrop_image = Format(kSplashImageUri, champion_id, static_cast<int64_t>(champion_id) * 1000);
  backdrop.backdrop_mask_color =
      metadata->override_color.empty() ? metadata->calculated_color : metadata->override_color;
}

void Backdrop::Publish(uint64_t summoner, bool refresh) {
  Maybe<CollectionsSummonerBackdrop> backdrop = Get(summoner, refresh);
  if (backdrop.HasFailure()) return;
  context_.Publish(Format(kBackdropUri, summoner), backdrop.value());
}
