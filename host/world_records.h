// The world's records: the players (summoners) with their collections as the
// backend stores them, the login session, the game-data assets and the
// platform settings. Plain data, shared by the world file's reader and
// writer (host/detail/world_io.h) and everything that serves or changes it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "host/host_value.h"

namespace kiv::host {

struct WorldRuneSlot {
  uint32_t rune_id = 0;
  uint32_t rune_slot_id = 0;
};

struct WorldRunePage {
  uint32_t page_id = 0;
  std::string name;
  bool current = false;
  uint64_t create_date = 0;  // milliseconds since 1970
  std::vector<WorldRuneSlot> slot_entries;
};

struct WorldTalent {
  int32_t talent_id = 0;
  int32_t rank = 0;
};

struct WorldMasteryPage {
  uint32_t page_id = 0;
  std::string name;
  bool current = false;
  uint64_t create_date = 0;
  std::vector<WorldTalent> talent_entries;
};

struct WorldRune {
  uint32_t rune_id = 0;
  int32_t quantity = 0;
  uint64_t purchase_date = 0;
  uint64_t purchased = 0;
};

struct WorldIcon {
  int32_t icon_id = 0;
  uint64_t purchase_date = 0;
};

struct WorldChampionMastery {
  int32_t champion_id = 0;
  int32_t champion_level = 0;
  int32_t champion_points = 0;
  uint64_t last_play_time = 0;
  int32_t champion_points_since_last_level = 0;
  int32_t champion_points_until_next_level = 0;
  bool chest_granted = false;
  std::string highest_grade;
};

struct WorldChestEligibility {
  uint32_t earnable_chests = 0;
  uint32_t maximum_chests = 0;
  uint64_t next_chest_recharge_time = 0;
};

struct WorldGame {
  int32_t champion_id = 0;
  int32_t queue = 0;
};

struct WorldSummoner {
  uint64_t summoner_id = 0;
  uint64_t account_id = 0;
  std::string display_name;
  uint32_t summoner_level = 0;
  int32_t profile_icon_id = 0;
  std::vector<WorldRunePage> rune_pages;
  std::vector<WorldMasteryPage> mastery_pages;
  std::vector<WorldRune> runes;
  std::vector<WorldIcon> icons;
  std::vector<int64_t> ward_skins;  // owned ward-skin ids
  std::vector<WorldChampionMastery> champion_masteries;
  WorldChestEligibility chest_eligibility;
  std::vector<WorldGame> recent_games;  // most recent first
};

struct WorldLogin {
  bool logged_in = false;
  uint64_t summoner_id = 0;
  std::string state = "SUCCEEDED";  // a LoginSessionStates name
  bool connected = true;
};

struct WorldBackdrops {
  std::vector<int32_t> webm;  // icon ids that have a video backdrop
  std::vector<int32_t> jpg;   // icon ids that have a picture backdrop
};

struct WorldGameData {
  OwnedValue summoner_masteries;                        // the mastery-tree asset
  OwnedValue summoner_spells;                           // the spell asset
  OwnedValue ward_skins;                                // the ward-skin catalogue
  std::map<std::string, OwnedValue> champion_splashes;  // champion id -> splash metadata
  WorldBackdrops summoner_backdrops;
};

struct World {
  WorldLogin login;
  std::vector<WorldSummoner> summoners;
  WorldGameData game_data;
  std::map<std::string, std::map<std::string, OwnedValue>> platform_config;

  // Null when no summoner has that id. Valid until `summoners` changes.
  WorldSummoner* Find(uint64_t summoner_id);
  const WorldSummoner* Find(uint64_t summoner_id) const;
  const WorldSummoner* FindByAccount(uint64_t account_id) const;
  // The logged-in summoner; null when nobody is logged in.
  WorldSummoner* Current();
  const WorldSummoner* Current() const;
};

}  // namespace kiv::host
