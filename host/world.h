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
#include "host/world_records.h"

namespace kiv::host {

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
