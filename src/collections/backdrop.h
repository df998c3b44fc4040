// Backdrop: the profile backdrop (GET .../backdrop), the choice among four
// sources in order (a backdrop made for the profile icon, the champion most
// played recently, the champion of highest mastery, the default), and its
// republication when the logged-in summoner's icon or recent games change.
//
// Pictures are paths into the game data's assets; only their existence
// (HEAD) and the splash metadata are read. What each source found is kept
// per summoner, so a later request reads only the splash metadata. A
// source whose read failed is not remembered: the next request asks again.
//
// Operations that read are [re-entrant].
#pragma once

#include <cstdint>
#include <map>
#include <optional>

#include "binding/maybe_type.h"
#include "collections/api_types.h"
#include "collections/collection.h"
#include "collections/highest_mastery.h"
#include "collections/service_context.h"
#include "runtime/app_module.h"

namespace Quarn::Client::Collections {

// The champion played most among a summoner's recent games.
struct MostPlayed {
  int32_t champion_id = 0;  // 0 when there were no games
  int32_t games = 0;
  // Whether it may give the backdrop: a real champion played 3 times or more.
  bool Qualifies() const { return champion_id != 0 && games >= 3; }
};
// Counts the first min(gameCount, 20, entries) games per champion; the
// highest count wins, and of equal counts the one that reached it first.
MostPlayed MostPlayedChampion(const Api::AcsChampionGamesCollection& games);

class Backdrop : public Collection {
 public:
  Backdrop(ServiceContext& context, HighestMastery& masteries) : context_(context), masteries_(masteries) {}

  void RegisterRoutes() override;
  // Subscribes to the logged-in summoner's recently played champions and to
  // the current summoner, in that order. [re-entrant: each current value is
  // fetched and delivered at once]
  void Subscribe() override;
  // Empties every table and the kept recent games.
  void OnLogout() override { state_ = {}; }

  // GET .../backdrop with `refresh` false. `refresh` re-reads the summoner
  // data and the icon's assets instead of taking what is kept.
  // Failure: 500 "Error requesting summoner data for %1." when the summoner
  // data cannot be read (summoner 0 included); every other source only falls
  // through to the next.
  Maybe<Api::CollectionsSummonerBackdrop> Get(uint64_t summoner, bool refresh);

  // The recent games of the logged-in summoner changed: keeps them, forgets
  // that summoner's recently-played choice and publishes the new backdrop.
  // Ignored unless created or updated while someone is logged in.
  void OnRecentGames(const ResourceEvent<Api::AcsChampionGamesCollection>& event);
  // The current summoner changed (any event): re-reads and publishes the
  // logged-in summoner's backdrop.
  void OnCurrentSummoner();

 private:
  // Each table maps a summoner id to a backdrop value holding what one
  // source found; a summoner without an entry has not been asked yet.
  struct State {
    std::map<uint64_t, Api::CollectionsSummonerBackdrop> summoner_data;    // summonerId, accountId, profileIconId
    std::map<uint64_t, Api::CollectionsSummonerBackdrop> icon_assets;      // backdropImage, backdropVideo
    std::map<uint64_t, Api::CollectionsSummonerBackdrop> recently_played;  // championId, 0 when none qualified
    std::map<uint64_t, Api::CollectionsSummonerBackdrop> highest_mastery;  // championId, 0 when none
    // The logged-in summoner's recent games from the last event, and whose
    // they are (0: none arrived since login).
    Api::AcsChampionGamesCollection recent_games;
    uint64_t recent_games_summoner = 0;
  };

  std::optional<Api::CollectionsSummonerBackdrop> SummonerData(uint64_t summoner, bool refresh);
  Api::CollectionsSummonerBackdrop IconAssets(uint64_t summoner, int32_t icon_id, bool refresh);
  int32_t RecentlyPlayedChampion(uint64_t summoner, uint64_t account);
  int32_t HighestMasteryChampion(uint64_t summoner);
  void ApplyChampionSplash(Api::CollectionsSummonerBackdrop& backdrop, int32_t champion_id);
  void Publish(uint64_t summoner, bool refresh);

  ServiceContext& context_;
  HighestMastery& masteries_;
  State state_;
  // HighestMastery::enabled_count() when the highest-mastery table was
  // last emptied for it.
  uint64_t seen_enabled_count_ = 0;
};

}  // namespace Quarn::Client::Collections
