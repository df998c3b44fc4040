// The backend DTOs of the Collections service: the records its backend
// services take and return over the TROV channel, and the push messages it
// receives.
//
// Plain aggregates. Members are declared in the order in which they are
// registered (collections/type_registration.h). Each DTO carries two
// constants: kDtoName, the name it is registered under, and kClassName, the
// backend class it travels as (the "__class" annotation and the class
// checked on answers). Texts and lists are owned by the structure.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "binding/binding_property.h"

namespace Quarn::Client::Collections::TROV {

struct ClientDynamicConfigurationNotification {
  static constexpr std::string_view kDtoName = "CollectionsTrovClientDynamicConfigurationNotification";
  static constexpr std::string_view kClassName =
      "com.quarngames.platform.client.dynamic.configuration.ClientDynamicConfigurationNotification";
  std::string configs;
  bool delta = false;
  bool operator==(const ClientDynamicConfigurationNotification&) const = default;
};

struct StoreFulfillmentNotification {
  static constexpr std::string_view kDtoName = "CollectionsTrovStoreFulfillmentNotification";
  static constexpr std::string_view kClassName =
      "com.quarngames.platform.messaging.StoreFulfillmentNotification";
  std::string inventory_type;
  BindingProperty data;  // held as received; its shape depends on the inventory type
};

struct RentalUpdateNotification {
  static constexpr std::string_view kDtoName = "CollectionsTrovRentalUpdateNotification";
  static constexpr std::string_view kClassName = "com.quarngames.platform.messaging.RentalUpdateNotification";
  std::string inventory_type;
  BindingProperty data;  // held as received; its shape depends on the inventory type
};

struct SlotEntry {
  static constexpr std::string_view kDtoName = "CollectionsTrovSlotEntry";
  static constexpr std::string_view kClassName = "com.quarngames.platform.summoner.spellbook.SlotEntry";
  uint32_t rune_id = 0;
  uint32_t rune_slot_id = 0;
  bool operator==(const SlotEntry&) const = default;
};

struct SpellBookPageDTO {
  static constexpr std::string_view kDtoName = "CollectionsTrovSpellBookPageDTO";
  static constexpr std::string_view kClassName =
      "com.quarngames.platform.summoner.spellbook.SpellBookPageDTO";
  std::string name;
  uint32_t page_id = 0;
  uint64_t summoner_id = 0;
  uint64_t create_date = 0;  // milliseconds since 1970-01-01 UTC
  std::vector<SlotEntry> slot_entries;
  bool current = false;
  bool operator==(const SpellBookPageDTO&) const = default;
};

// The rune book as the backend keeps it.
struct SpellBookDTO {
  static constexpr std::string_view kDtoName = "CollectionsTrovSpellBookDTO";
  static constexpr std::string_view kClassName = "com.quarngames.platform.summoner.spellbook.SpellBookDTO";
  uint64_t summoner_id = 0;
  std::string date_string;  // "%Y-%m-%dT%H:%M:%SZ", UTC
  std::vector<SpellBookPageDTO> book_pages;
  bool operator==(const SpellBookDTO&) const = default;
};

struct TalentEntry {
  static constexpr std::string_view kDtoName = "CollectionsTrovTalentEntry";
  static constexpr std::string_view kClassName = "com.quarngames.platform.summoner.masterybook.TalentEntry";
  int32_t rank = 0;
  int32_t talent_id = 0;
  bool operator==(const TalentEntry&) const = default;
};

struct MasteryBookPageDTO {
  static constexpr std::string_view kDtoName = "CollectionsTrovMasteryBookPageDTO";
  static constexpr std::string_view kClassName =
      "com.quarngames.platform.summoner.masterybook.MasteryBookPageDTO";
  std::string name;
  uint32_t page_id = 0;
  uint64_t summoner_id = 0;
  uint64_t create_date = 0;  // milliseconds since 1970-01-01 UTC
  std::vector<TalentEntry> talent_entries;
  bool current = false;
  bool operator==(const MasteryBookPageDTO&) const = default;
};

struct MasteryBookDTO {
  static constexpr std::string_view kDtoName = "CollectionsTrovMasteryBookDTO";
  static constexpr std::string_view kClassName =
      "com.quarngames.platform.summoner.masterybook.MasteryBookDTO";
  uint64_t summoner_id = 0;
  std::string date_string;  // "%Y-%m-%dT%H:%M:%SZ", UTC
  std::vector<MasteryBookPageDTO> book_pages;
  bool operator==(const MasteryBookDTO&) const = default;
};

struct ChampionSkinDTO {
  static constexpr std::string_view kDtoName = "CollectionsTrovChampionSkinDTO";
  static constexpr std::string_view kClassName = "com.quarngames.platform.catalog.champion.ChampionSkinDTO";
  uint64_t end_date = 0;
  uint64_t purchase_date = 0;
  int32_t win_count_remaining = 0;
  std::vector<std::string> sources;
  int32_t champion_id = 0;
  bool free_to_play_reward = false;
  bool last_selected = false;
  bool owned = false;
  int32_t skin_id = 0;
  bool still_obtainable = false;
  bool operator==(const ChampionSkinDTO&) const = default;
};

struct ChampionDTO {
  static constexpr std::string_view kDtoName = "CollectionsTrovChampionDTO";
  static constexpr std::string_view kClassName = "com.quarngames.platform.catalog.champion.ChampionDTO";
  uint64_t end_date = 0;
  uint64_t purchase_date = 0;
  int32_t win_count_remaining = 0;
  std::vector<std::string> sources;
  bool active = false;
  bool bot_enabled = false;
  int32_t champion_id = 0;
  std::vector<ChampionSkinDTO> champion_skins;
  bool free_to_play = false;
  bool free_to_play_reward = false;
  bool owned = false;
  uint64_t purchased = 0;
  bool ranked_play_enabled = false;
  bool operator==(const ChampionDTO&) const = default;
};

struct SummonerRune {
  static constexpr std::string_view kDtoName = "CollectionsTrovSummonerRune";
  static constexpr std::string_view kClassName = "com.quarngames.platform.summoner.runes.SummonerRune";
  uint64_t purchase_date = 0;
  uint64_t purchased = 0;
  int32_t quantity = 0;
  uint32_t rune_id = 0;
  uint64_t summoner_id = 0;
  bool operator==(const SummonerRune&) const = default;
};

struct SummonerRuneInventory {
  static constexpr std::string_view kDtoName = "CollectionsTrovSummonerRuneInventory";
  static constexpr std::string_view kClassName =
      "com.quarngames.platform.summoner.runes.SummonerRuneInventory";
  std::string date_string;
  uint64_t summoner_id = 0;
  std::vector<SummonerRune> summoner_runes;
  bool operator==(const SummonerRuneInventory&) const = default;
};

struct SummonerIcon {
  static constexpr std::string_view kDtoName = "CollectionsTrovSummonerIcon";
  static constexpr std::string_view kClassName = "com.quarngames.platform.summoner.icon.SummonerIcon";
  int32_t icon_id = 0;
  uint64_t purchase_date = 0;
  uint64_t summoner_id = 0;
  bool operator==(const SummonerIcon&) const = default;
};

struct SummonerIconInventoryDTO {
  static constexpr std::string_view kDtoName = "CollectionsTrovSummonerIconInventoryDTO";
  static constexpr std::string_view kClassName =
      "com.quarngames.platform.summoner.icon.SummonerIconInventoryDTO";
  std::string date_string;
  uint64_t summoner_id = 0;
  std::vector<SummonerIcon> summoner_icons;
  bool operator==(const SummonerIconInventoryDTO&) const = default;
};

struct ContentItemIdentifier {
  static constexpr std::string_view kDtoName = "ContentItemIdentifier";
  static constexpr std::string_view kClassName =
      "com.quarngames.platform.catalog.content.ContentItemIdentifier";
  std::string inventory_type;
  int32_t item_id = 0;
  bool operator==(const ContentItemIdentifier&) const = default;
};

// A dialog message pushed by the backend (mastery gained, chest granted).
struct SimpleMessage {
  static constexpr std::string_view kDtoName = "CollectionsTrovSimpleMessage";
  static constexpr std::string_view kClassName =
      "com.quarngames.platform.messaging.persistence.SimpleDialogMessage";
  uint64_t account_id = 0;
  std::string msg_id;
  std::string type;
  std::vector<std::string> params;
  bool operator==(const SimpleMessage&) const = default;
};

}  // namespace Quarn::Client::Collections::TROV
