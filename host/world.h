// World: everything the developer host's stand-ins serve to a plug-in: the
// players (summoners) with their collections as the backend stores them,
// the login session, the game-data assets and the platform settings. It is
// read from a world file (JSON, or YAML), changed by the backend's saves and
// the simulation controls, and can be written back out as JSON.
//
// World file layout (keys in lower camel case; every key may be left out):
//   login:          {loggedIn, summonerId, state, connected}
//   summoners:      [{summonerId, accountId, displayName, summonerLevel,
//                     profileIconId, runePages, masteryPages, runes, icons,
//                     wardSkins, championMasteries, chestEligibility,
//                     recentGames}]
//   gameData:       {summonerMasteries, summonerSpells, wardSkins (served as
//                    they stand), championSplashes {"<id>": metadata},
//                    summonerBackdrops {webm: [icon ids], jpg: [icon ids]}}
//   platformConfig: {"<namespace>": {"<key>": value}}
// Rune and mastery pages use the backend's field names (pageId, slotEntries,
// talentEntries), so a saved book reads with the same rules as the file.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "binding/failure.h"
#include "binding/maybe_type.h"
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

// Reads a world from text: JSON, or YAML when `yaml` is set. `name` (a file
// name) starts every message. Fails with
// every problem found, one per line:
//   "<name>:<line>:<column>: <parser's reason>" for text that does not parse;
//   "<name>: <where>: <problem>" for a value of the wrong kind or range, an
//   unknown key, or a broken rule (for example "summoners[1].summonerId:
//   2870164 is used by summoners[0] too").
Quarn::Maybe<World> ParseWorld(std::string_view text, std::string_view name, bool yaml = false);
// Reads a world file; YAML when its name ends in .yaml or .yml. Fails as
// ParseWorld, or with "cannot read <path>: <reason>".
Quarn::Maybe<World> LoadWorld(const std::string& path);
// The rules ParseWorld checks after reading: ids non-zero and unique, page
// ids unique per book, the logged-in summoner present. Empty when the world
// is sound; otherwise "<where>: <problem>" texts.
std::vector<std::string> CheckWorld(const World& world);

// The world as a value in the world-file layout, and as JSON text.
OwnedValue WorldToValue(const World& world);
std::string WorldToJson(const World& world);

}  // namespace kiv::host
