// State of the second-half collections (champion mastery, ward skins,
// profile backdrop), held by the service object
// (CollectionsService::second_half()) and touched only on the host's
// thread. Handlers that await re-read it after the wait.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "collections/api_types.h"
#include "collections/shared_fetch.h"
#include "collections/time_stamp.h"
#include "collections/ward_skin_cache.h"

namespace Quarn::Client::Collections {

struct ChampionMasteryEntry {
  std::vector<Api::CollectionsChampionMastery> masteries;
  std::chrono::system_clock::time_point read_at;
  uint64_t last_use = 0;  // ChampionMasteryState::uses at the last read
};

struct ChampionMasteryState {
  bool enabled = false;   // the "Enabled" setting; every mastery route refuses while false
  int32_t max_level = 5;  // the "MaxChampionLevel" setting: the most one mastery adds to the score
  // Summoner id -> the masteries last read for them. Keyed by summoner, it
  // cannot answer for the wrong one; other summoners' lists age and are
  // dropped (collections/champion_mastery.h).
  std::map<uint64_t, ChampionMasteryEntry> cache;
  uint64_t uses = 0;  // counts reads, for the least recently used entry
  SharedFetches<uint64_t, std::vector<Api::CollectionsChampionMastery>> all_masteries;
  SharedFetches<uint64_t, Api::CollectionsChestEligibility> chests;
};

struct WardSkinState {
  WardSkinCache cache;     // empty until read; a grant empties it
  uint64_t summoner = 0;   // whose ownership `cache` holds
  bool published = false;  // the list was published once: later publications are updates
  SharedFetches<uint64_t, std::vector<uint64_t>> selectable;  // by summoner
};

// Each table maps a summoner id to a backdrop value holding what one source
// found; a summoner without an entry has not been asked yet.
struct BackdropState {
  std::map<uint64_t, Api::CollectionsSummonerBackdrop> summoner_data;  // summonerId, accountId, profileIconId
  std::map<uint64_t, Api::CollectionsSummonerBackdrop> icon_assets;    // backdropImage, backdropVideo
  std::map<uint64_t, Api::CollectionsSummonerBackdrop> recently_played;  // championId, 0 when none qualified
  std::map<uint64_t, Api::CollectionsSummonerBackdrop> highest_mastery;  // championId, 0 when none
  // The logged-in summoner's recent games from the last event, and whose
  // they are (0: none arrived since login).
  Api::AcsChampionGamesCollection recent_games;
  uint64_t recent_games_summoner = 0;
};

struct SecondHalfState {
  ChampionMasteryState champion_mastery;
  WardSkinState ward_skins;
  BackdropState backdrop;
};

}  // namespace Quarn::Client::Collections
