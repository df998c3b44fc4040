#include "collections/backdrop.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "binding/message_format.h"
#include "collections/champion_mastery.h"
#include "collections/collections_service.h"
#include "collections/resource_uris.h"
#include "collections/second_half_messages.h"
#include "collections/service_parts.h"
#include "diagnostics/logger.h"
#include "runtime/outbound_request.h"

namespace Collections = Quarn::Client::Collections;
namespace Api = Quarn::Client::Collections::Api;
using Api::CollectionsSummonerBackdrop;
using Api::CollectionsSummonerBackdropType;

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

CollectionsSummonerBackdrop DefaultBackdrop() {
  CollectionsSummonerBackdrop backdrop;
  backdrop.profile_icon_id = -1;
  backdrop.backdrop_type = CollectionsSummonerBackdropType::kDefault;
  backdrop.backdrop_mask_color = "#000000";
  return backdrop;
}

// Step 1: the summoner's id, account and icon; nullopt when unreadable.
std::optional<CollectionsSummonerBackdrop> SummonerData(Collections::CollectionsService& service,
                                                        uint64_t summoner, bool refresh) {
  auto& kept = service.second_half().backdrop.summoner_data;
  if (!refresh) {
    if (const auto found = kept.find(summoner); found != kept.end()) return found->second;
  }
  if (summoner == 0) {
    Quarn::Log(Quarn::kLogError, Quarn::kChannelDbg, Collections::Msg::kLogInvalidSummoner, 0LL);
    return std::nullopt;
  }
  Quarn::Maybe<Api::Summoner> read =
      service.Request<Api::Summoner>(Quarn::Method::Get, Quarn::Format(kSummonerUri, summoner));
  if (read.HasFailure()) {
    const std::string message(read.FailureMessage());
    Quarn::Log(Quarn::kLogError, Quarn::kChannelDbg, Collections::Msg::kLogSummonerDataFailed,
               static_cast<long long>(summoner), message.c_str());
    // Not kept: a default kept here would answer as a success from now on.
    return std::nullopt;
  }
  CollectionsSummonerBackdrop data = DefaultBackdrop();
  data.summoner_id = read->summoner_id;
  data.account_id = read->account_id;
  data.profile_icon_id = read->profile_icon_id;
  service.second_half().backdrop.summoner_data[summoner] = data;
  return data;
}

// Whether an existence check answered for sure: found, or not there.
enum class Existence { kFound, kAbsent, kUnknown };

Existence AssetExists(Collections::CollectionsService& service, const std::string& uri) {
  Quarn::Maybe<void> head = service.Request(Quarn::Method::Head, uri);
  if (head.ok()) return Existence::kFound;
  return head.failure().code() == 404 ? Existence::kAbsent : Existence::kUnknown;
}

// Step 2: the icon's own backdrop paths (both empty when it has none).
CollectionsSummonerBackdrop IconAssets(Collections::CollectionsService& service, uint64_t summoner,
                                       int32_t icon_id, bool refresh) {
  auto& kept = service.second_half().backdrop.icon_assets;
  if (!refresh) {
    if (const auto found = kept.find(summoner); found != kept.end()) return found->second;
  }
  const std::string video = Quarn::Format(kIconVideoUri, icon_id);
  const std::string image = Quarn::Format(kIconImageUri, icon_id);
  const Existence has_video = AssetExists(service, video);
  const Existence has_image = AssetExists(service, image);
  CollectionsSummonerBackdrop assets = DefaultBackdrop();
  if (has_video == Existence::kFound) assets.backdrop_video = video;
  if (has_image == Existence::kFound) assets.backdrop_image = image;
  // A check that failed for another reason than absence proves nothing.
  if (has_video != Existence::kUnknown && has_image != Existence::kUnknown) {
    service.second_half().backdrop.icon_assets[summoner] = assets;
  }
  return assets;
}

// Step 3: the champion most played recently, 0 when none qualifies.
int32_t RecentlyPlayedChampion(Collections::CollectionsService& service, uint64_t summoner,
                               uint64_t account) {
  auto& backdrop = service.second_half().backdrop;
  if (const auto found = backdrop.recently_played.find(summoner); found != backdrop.recently_played.end()) {
    return found->second.champion_id;
  }
  const Collections::SessionState& session = service.state().session;
  Api::AcsChampionGamesCollection games;
  if (session.logged_in && summoner == session.current_summoner &&
      backdrop.recent_games_summoner == summoner) {
    games = backdrop.recent_games;
  } else {
    // Another summoner, or the logged-in one before their recent games
    // arrived: ask by account.
    Quarn::Maybe<Api::AcsChampionGamesCollection> read = service.Request<Api::AcsChampionGamesCollection>(
        Quarn::Method::Get, Quarn::Format(kGamesByAccountUri, account));
    if (read.HasFailure()) {
      const std::string message(read.FailureMessage());
      Quarn::Log(Quarn::kLogError, Quarn::kChannelDbg, Collections::Msg::kLogRecentGamesFailed,
                 message.c_str());
      return 0;  // not kept: the next request asks again
    }
    games = read.TakeValue();
  }

  int32_t champion_id = 0;
  if (games.game_count != 0) {
    const Collections::MostPlayed best = Collections::MostPlayedChampion(games);
    if (best.Qualifies()) {
      champion_id = best.champion_id;
    } else {
      Quarn::Log(Quarn::kLogAlways, Quarn::kChannelDbg, Collections::Msg::kLogMostPlayed, best.champion_id,
                 best.games);
    }
  }
  CollectionsSummonerBackdrop choice = DefaultBackdrop();
  choice.champion_id = champion_id;
  service.second_half().backdrop.recently_played[summoner] = choice;
  return champion_id;
}

// Step 4: the champion of highest mastery, 0 when none.
int32_t HighestMasteryChampion(Collections::CollectionsService& service, uint64_t summoner) {
  auto& kept = service.second_half().backdrop.highest_mastery;
  if (const auto found = kept.find(summoner); found != kept.end()) return found->second.champion_id;
  Quarn::Maybe<Api::CollectionsTopChampionMasteries> top =
      Collections::GetTopChampionMasteries(service, summoner, 1, std::nullopt);
  if (top.HasFailure()) return 0;  // falls through to the default; not kept, so it is asked again
  CollectionsSummonerBackdrop choice = DefaultBackdrop();
  if (!top->masteries.empty()) choice.champion_id = top->masteries.front().champion_id;
  service.second_half().backdrop.highest_mastery[summoner] = choice;
  return choice.champion_id;
}

void ApplyChampionSplash(Collections::CollectionsService& service, CollectionsSummonerBackdrop& backdrop,
                         int32_t champion_id) {
  Quarn::Maybe<Api::GameDataSplashMetadata> metadata = service.Request<Api::GameDataSplashMetadata>(
      Quarn::Method::Get, Quarn::Format(kSplashMetadataUri, champion_id));
  if (metadata.HasFailure()) {
    Quarn::Log(Quarn::kLogError, Quarn::kChannelDbg, Collections::Msg::kLogSplashFailed, champion_id);
    return;
  }
  // The base skin's number is the champion's id times 1000.
  backdrop.backdrop_image =
      Quarn::Format(kSplashImageUri, champion_id, static_cast<int64_t>(champion_id) * 1000);
  backdrop.backdrop_mask_color =
      metadata->override_color.empty() ? metadata->calculated_color : metadata->override_color;
}

void PublishBackdrop(Collections::CollectionsService& service, uint64_t summoner, bool refresh) {
  Quarn::Maybe<CollectionsSummonerBackdrop> backdrop = Collections::GetBackdrop(service, summoner, refresh);
  if (backdrop.HasFailure()) return;
  service.Publish(Quarn::Format(Collections::kBackdropUri, summoner), backdrop.value());
}

}  // namespace

Collections::MostPlayed Quarn::Client::Collections::MostPlayedChampion(
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

void Quarn::Client::Collections::RegisterBackdropRoutes(CollectionsService& service) {
  service.api()
      .Get("/kiv-collections/v1/inventories/{summonerId}/backdrop",
           [&service](uint64_t summoner_id) { return GetBackdrop(service, summoner_id, /*refresh=*/false); })
      .Path("summonerId");
}

void Quarn::Client::Collections::SubscribeBackdropSources(CollectionsService& service) {
  service.ObserveResource<Api::AcsChampionGamesCollection>(
      kRecentGamesUri, [&service](const ResourceEvent<Api::AcsChampionGamesCollection>& event) {
        OnRecentGames(service, event);
      });
  service.ObserveResource<Api::Summoner>(
      kCurrentSummonerUri,
      [&service](const ResourceEvent<Api::Summoner>& event) { OnCurrentSummoner(service, event); });
}

Quarn::Maybe<CollectionsSummonerBackdrop> Quarn::Client::Collections::GetBackdrop(CollectionsService& service,
                                                                                  uint64_t summoner,
                                                                                  bool refresh) {
  const std::optional<CollectionsSummonerBackdrop> data = SummonerData(service, summoner, refresh);
  if (!data.has_value()) return Failure(Format(Msg::kRequestSummonerData, summoner), 500);

  CollectionsSummonerBackdrop backdrop = DefaultBackdrop();
  backdrop.summoner_id = data->summoner_id;
  backdrop.account_id = data->account_id;
  backdrop.profile_icon_id = data->profile_icon_id;

  const CollectionsSummonerBackdrop icon = IconAssets(service, summoner, data->profile_icon_id, refresh);
  if (!icon.backdrop_image.empty() || !icon.backdrop_video.empty()) {
    backdrop.backdrop_image = icon.backdrop_image;
    backdrop.backdrop_video = icon.backdrop_video;
    backdrop.backdrop_type = CollectionsSummonerBackdropType::kSummonerIcon;
    return backdrop;
  }

  if (const int32_t champion_id = RecentlyPlayedChampion(service, summoner, data->account_id);
      champion_id != 0) {
    backdrop.champion_id = champion_id;
    backdrop.backdrop_type = CollectionsSummonerBackdropType::kRecentlyPlayed;
    ApplyChampionSplash(service, backdrop, champion_id);
    return backdrop;
  }

  if (const int32_t champion_id = HighestMasteryChampion(service, summoner); champion_id != 0) {
    backdrop.champion_id = champion_id;
    backdrop.backdrop_type = CollectionsSummonerBackdropType::kHighestMastery;
    ApplyChampionSplash(service, backdrop, champion_id);
  }
  return backdrop;
}

void Quarn::Client::Collections::OnRecentGames(CollectionsService& service,
                                               const ResourceEvent<Api::AcsChampionGamesCollection>& event) {
  if (event.event_type != PluginResourceEventType::Create &&
      event.event_type != PluginResourceEventType::Update) {
    return;
  }
  const SessionState& session = service.state().session;
  if (!session.logged_in) return;
  BackdropState& backdrop = service.second_half().backdrop;
  backdrop.recent_games = event.data;
  backdrop.recent_games_summoner = session.current_summoner;
  backdrop.recently_played.erase(session.current_summoner);
  PublishBackdrop(service, session.current_summoner, /*refresh=*/false);
}

void Quarn::Client::Collections::OnCurrentSummoner(CollectionsService& service,
                                                   const ResourceEvent<Api::Summoner>& /*event*/) {
  PublishBackdrop(service, service.state().session.current_summoner, /*refresh=*/true);
}

void Quarn::Client::Collections::ClearHighestMasteryBackdrops(CollectionsService& service) {
  service.second_half().backdrop.highest_mastery.clear();
}

void Quarn::Client::Collections::OnLoggedOut(CollectionsService& service) {
  service.second_half().backdrop = BackdropState{};
}
