// The Collections service's API types: what its routes take and return,
// what its resource events carry, and the shapes of the other plug-ins'
// resources it reads.
//
// Plain aggregates. Members are declared in the order in which they are
// registered (collections/type_registration.h), each with the width and
// signedness its JSON form is converted through; do not reorder them.
// Texts, lists and maps are owned by the structure.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "binding/binding_property.h"
#include "collections/trov_dtos.h"

namespace Quarn::Client::Collections::Api {

// Shared by the collections.

struct CollectionsRental {
  uint64_t end_date = 0;
  uint64_t purchase_date = 0;
  int32_t win_count_remaining = 0;
  bool rented = false;
  bool operator==(const CollectionsRental&) const = default;
};

struct CollectionsOwnership {
  bool free_to_play_reward = false;
  bool owned = false;
  CollectionsRental rental;
  bool operator==(const CollectionsOwnership&) const = default;
};

// Rune book and runes.

struct CollectionsRune {
  uint32_t rune_id = 0;
  uint32_t rune_slot_id = 0;
  bool operator==(const CollectionsRune&) const = default;
};

struct CollectionsRunePage {
  bool current = false;
  uint32_t id = 0;
  std::string name;
  std::vector<CollectionsRune> runes;
  bool operator==(const CollectionsRunePage&) const = default;
};

struct CollectionsRuneBook {
  uint64_t summoner_id = 0;
  std::vector<CollectionsRunePage> pages;
  bool operator==(const CollectionsRuneBook&) const = default;
};

struct CollectionsRuneQuantity {
  uint32_t rune_id = 0;
  int32_t quantity = 0;
  bool operator==(const CollectionsRuneQuantity&) const = default;
};

struct CollectionsRuneQuantities {
  uint64_t summoner_id = 0;
  std::vector<CollectionsRuneQuantity> rune_quantities;
  bool operator==(const CollectionsRuneQuantities&) const = default;
};

// Mastery book.

struct CollectionsMastery {
  uint32_t id = 0;  // the mastery's id
  int32_t rank = 0;
  bool operator==(const CollectionsMastery&) const = default;
};

struct CollectionsMasteryPage {
  bool current = false;
  uint32_t id = 0;
  std::string name;
  // Tree name -> points spent in that tree (collections/mastery_trees.h).
  std::map<std::string, uint32_t> summary;
  std::vector<CollectionsMastery> masteries;
  bool operator==(const CollectionsMasteryPage&) const = default;
};

struct CollectionsMasteryBook {
  uint64_t summoner_id = 0;
  std::vector<CollectionsMasteryPage> pages;
  bool operator==(const CollectionsMasteryBook&) const = default;
};

// Login data: both books arrive as backend DTOs.

struct SummonerData {
  TROV::SpellBookDTO spell_book;
  TROV::MasteryBookDTO mastery_book;
  bool operator==(const SummonerData&) const = default;
};

struct CollectionLoginDataPacket {
  SummonerData all_summoner_data;
  bool operator==(const CollectionLoginDataPacket&) const = default;
};

// Spells and icons.

struct CollectionsSummonerSpells {
  uint64_t summoner_id = 0;
  std::vector<uint64_t> spells;  // spell ids
  bool operator==(const CollectionsSummonerSpells&) const = default;
};

struct CollectionsSummonerIcon {
  int32_t icon_id = 0;
  CollectionsOwnership ownership;
  bool operator==(const CollectionsSummonerIcon&) const = default;
};

struct CollectionsSummonerIcons {
  uint64_t summoner_id = 0;
  std::vector<int32_t> icons;  // icon ids
  bool operator==(const CollectionsSummonerIcons&) const = default;
};

// Champion mastery and chests.

struct CollectionsChampionMastery {
  uint64_t player_id = 0;
  int32_t champion_id = 0;
  int32_t champion_level = 0;
  int32_t champion_points = 0;
  uint64_t last_play_time = 0;
  int32_t champion_points_since_last_level = 0;
  int32_t champion_points_until_next_level = 0;
  bool chest_granted = false;
  std::string highest_grade;
  bool operator==(const CollectionsChampionMastery&) const = default;
};

struct CollectionsTopChampionMasteries {
  uint64_t summoner_id = 0;
  uint64_t score = 0;
  std::vector<CollectionsChampionMastery> masteries;
  bool operator==(const CollectionsTopChampionMasteries&) const = default;
};

struct CollectionsChestEligibility {
  uint32_t earnable_chests = 0;
  uint32_t maximum_chests = 0;
  uint64_t next_chest_recharge_time = 0;
  bool operator==(const CollectionsChestEligibility&) const = default;
};

// Profile backdrop.

// Values are fixed: they are the numbers other clients see.
enum class CollectionsSummonerBackdropType : int32_t {
  kDefault = 0,         // "default"
  kSummonerIcon = 1,    // "summoner-icon"
  kRecentlyPlayed = 2,  // "recently-played"
  kHighestMastery = 3,  // "highest-mastery"
};
static_assert(sizeof(CollectionsSummonerBackdropType) == 4);

struct CollectionsSummonerBackdrop {
  uint64_t summoner_id = 0;
  uint64_t account_id = 0;
  int32_t profile_icon_id = 0;
  int32_t champion_id = 0;
  CollectionsSummonerBackdropType backdrop_type = CollectionsSummonerBackdropType::kDefault;
  std::string backdrop_image;
  std::string backdrop_video;
  std::string backdrop_mask_color;
  bool operator==(const CollectionsSummonerBackdrop&) const = default;
};

// Ward skins.

struct CollectionsWardSkinList {
  std::vector<int64_t> ward_skin_list;
  bool operator==(const CollectionsWardSkinList&) const = default;
};

struct CollectionsWardSkin {
  int64_t id = 0;
  std::string name;
  std::string description;
  CollectionsOwnership ownership;
  std::string ward_image_path;
  std::string ward_shadow_image_path;
  bool operator==(const CollectionsWardSkin&) const = default;
};

// Resources of other plug-ins and configuration data.

struct AcsChampionGames {
  int32_t champion_id = 0;
  int32_t queue = 0;
  bool operator==(const AcsChampionGames&) const = default;
};

// Recently played champions.
struct AcsChampionGamesCollection {
  uint32_t game_count = 0;
  std::vector<AcsChampionGames> champions;
  bool operator==(const AcsChampionGamesCollection&) const = default;
};

struct Summoner {
  uint64_t summoner_id = 0;
  uint64_t account_id = 0;
  uint32_t summoner_level = 0;
  int32_t profile_icon_id = 0;
  bool operator==(const Summoner&) const = default;
};

struct PlayerNotification {
  std::string background_url;
  bool critical = false;
  std::map<std::string, std::string> data;
  std::string detail_key;
  std::string icon_url;
  uint64_t id = 0;
  std::string source;
  std::string state;
  std::string title_key;
  std::string type;
  bool operator==(const PlayerNotification&) const = default;
};

// Values are fixed: they are the login plug-in's numbers.
enum class LoginSessionStates : int32_t {
  kInProgress = 0,  // "IN_PROGRESS"
  kSucceeded = 1,   // "SUCCEEDED"
  kLoggingOut = 2,  // "LOGGING_OUT"
  kError = 3,       // "ERROR"
};
static_assert(sizeof(LoginSessionStates) == 4);

struct LoginSession {
  LoginSessionStates state = LoginSessionStates::kInProgress;
  uint64_t summoner_id = 0;
  uint64_t account_id = 0;
  bool connected = false;
  bool operator==(const LoginSession&) const = default;
};

// Registered so the type is known; nothing reads it.
struct TrovDynamicClientConfig {
  BindingProperty disabled_champions;  // held as received
};

// Registered so the type is known; nothing reads it.
struct GameDataChampionSummary {
  int32_t id = 0;
  bool operator==(const GameDataChampionSummary&) const = default;
};

struct GameDataChampionMasteryRow {
  std::vector<uint32_t> masteries;  // mastery ids
  bool operator==(const GameDataChampionMasteryRow&) const = default;
};

struct GameDataChampionMasteryGroup {
  uint32_t id = 0;  // its decimal text names the mastery tree
  std::vector<GameDataChampionMasteryRow> rows;
  bool operator==(const GameDataChampionMasteryGroup&) const = default;
};

struct GameDataChampionMasteryTree {
  std::vector<GameDataChampionMasteryGroup> groups;
  bool operator==(const GameDataChampionMasteryTree&) const = default;
};

// The game data's mastery-tree asset.
struct GameDataChampionMasteries {
  GameDataChampionMasteryTree tree;
  bool operator==(const GameDataChampionMasteries&) const = default;
};

struct GameDataSplashMetadata {
  std::string calculated_color;
  std::string override_color;
  bool operator==(const GameDataSplashMetadata&) const = default;
};

}  // namespace Quarn::Client::Collections::Api
