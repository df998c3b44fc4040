#include "collections/type_registration.h"

#include "binding/native_conversion.h"
#include "binding/static_type.h"
#include "collections/api_types.h"
#include "collections/trov_dtos.h"

namespace Api = Quarn::Client::Collections::Api;
namespace TROV = Quarn::Client::Collections::TROV;

namespace {

template <class Builder>
Builder Tagged(Builder builder, const std::vector<std::string>& tags) {
  for (const std::string& tag : tags) builder.Tag(tag);
  return builder;
}

// Registers DTOs and records each one's backend class in both tables.
struct DtoRegistrar {
  Quarn::BindingRegistry& registry;
  Quarn::TrovClassTables& tables;
  const std::vector<std::string>& tags;

  template <class Dto>
  Quarn::StructureBuilder<Dto> Add() const {
    tables.Add<Dto>(Dto::kDtoName, Dto::kClassName);
    return Tagged(registry.Structure<Dto>(Dto::kDtoName), tags);
  }
};

// Registers API types under the API name's prefix.
struct ApiTypeRegistrar {
  Quarn::BindingRegistry& registry;
  std::string_view api_name;
  const std::vector<std::string>& tags;

  std::string NameOf(std::string_view type_name) const {
    std::string name;
    name.reserve(api_name.size() + type_name.size());
    name.append(api_name).append(type_name);
    return name;
  }
  template <class T>
  Quarn::StructureBuilder<T> Add(std::string_view type_name) const {
    return Tagged(registry.Structure<T>(NameOf(type_name)), tags);
  }
  template <class E>
  Quarn::EnumerationBuilder<E> AddEnum(std::string_view type_name) const {
    return Tagged(registry.Enumeration<E>(NameOf(type_name)), tags);
  }
};

}  // namespace

void Quarn::Client::Collections::RegisterTrovDtos(BindingRegistry& registry, TrovClassTables& tables,
                                                  const std::vector<std::string>& tags) {
  using namespace TROV;
  const DtoRegistrar dtos{registry, tables, tags};
  dtos.Add<ClientDynamicConfigurationNotification>()
      .Field("configs", &ClientDynamicConfigurationNotification::configs)
      .Field("delta", &ClientDynamicConfigurationNotification::delta);
  dtos.Add<StoreFulfillmentNotification>()
      .Field("inventoryType", &StoreFulfillmentNotification::inventory_type)
      .Field("data", &StoreFulfillmentNotification::data);
  dtos.Add<RentalUpdateNotification>()
      .Field("inventoryType", &RentalUpdateNotification::inventory_type)
      .Field("data", &RentalUpdateNotification::data);
  dtos.Add<SlotEntry>().Field("runeId", &SlotEntry::rune_id).Field("runeSlotId", &SlotEntry::rune_slot_id);
  dtos.Add<SpellBookPageDTO>()
      .Field("name", &SpellBookPageDTO::name)
      .Field("pageId", &SpellBookPageDTO::page_id)
      .Field("summonerId", &SpellBookPageDTO::summoner_id)
      .Field("createDate", &SpellBookPageDTO::create_date)
      .Field("slotEntries", &SpellBookPageDTO::slot_entries)
      .Field("current", &SpellBookPageDTO::current);
  dtos.Add<SpellBookDTO>()
      .Field("summonerId", &SpellBookDTO::summoner_id)
      .Field("dateString", &SpellBookDTO::date_string)
      .Field("bookPages", &SpellBookDTO::book_pages);
  dtos.Add<TalentEntry>().Field("rank", &TalentEntry::rank).Field("talentId", &TalentEntry::talent_id);
  dtos.Add<MasteryBookPageDTO>()
      .Field("name", &MasteryBookPageDTO::name)
      .Field("pageId", &MasteryBookPageDTO::page_id)
      .Field("summonerId", &MasteryBookPageDTO::summoner_id)
      .Field("createDate", &MasteryBookPageDTO::create_date)
      .Field("talentEntries", &MasteryBookPageDTO::talent_entries)
      .Field("current", &MasteryBookPageDTO::current);
  dtos.Add<MasteryBookDTO>()
      .Field("summonerId", &MasteryBookDTO::summoner_id)
      .Field("dateString", &MasteryBookDTO::date_string)
      .Field("bookPages", &MasteryBookDTO::book_pages);
  dtos.Add<ChampionSkinDTO>()
      .Field("endDate", &ChampionSkinDTO::end_date)
      .Field("purchaseDate", &ChampionSkinDTO::purchase_date)
      .Field("winCountRemaining", &ChampionSkinDTO::win_count_remaining)
      .Field("sources", &ChampionSkinDTO::sources)
      .Field("championId", &ChampionSkinDTO::champion_id)
      .Field("freeToPlayReward", &ChampionSkinDTO::free_to_play_reward)
      .Field("lastSelected", &ChampionSkinDTO::last_selected)
      .Field("owned", &ChampionSkinDTO::owned)
      .Field("skinId", &ChampionSkinDTO::skin_id)
      .Field("stillObtainable", &ChampionSkinDTO::still_obtainable);
  dtos.Add<ChampionDTO>()
      .Field("endDate", &ChampionDTO::end_date)
      .Field("purchaseDate", &ChampionDTO::purchase_date)
      .Field("winCountRemaining", &ChampionDTO::win_count_remaining)
      .Field("sources", &ChampionDTO::sources)
      .Field("active", &ChampionDTO::active)
      .Field("botEnabled", &ChampionDTO::bot_enabled)
      .Field("championId", &ChampionDTO::champion_id)
      .Field("championSkins", &ChampionDTO::champion_skins)
      .Field("freeToPlay", &ChampionDTO::free_to_play)
      .Field("freeToPlayReward", &ChampionDTO::free_to_play_reward)
      .Field("owned", &ChampionDTO::owned)
      .Field("purchased", &ChampionDTO::purchased)
      .Field("rankedPlayEnabled", &ChampionDTO::ranked_play_enabled);
  dtos.Add<SummonerRune>()
      .Field("purchaseDate", &SummonerRune::purchase_date)
      .Field("purchased", &SummonerRune::purchased)
      .Field("quantity", &SummonerRune::quantity)
      .Field("runeId", &SummonerRune::rune_id)
      .Field("summonerId", &SummonerRune::summoner_id);
  dtos.Add<SummonerRuneInventory>()
      .Field("dateString", &SummonerRuneInventory::date_string)
      .Field("summonerId", &SummonerRuneInventory::summoner_id)
      .Field("summonerRunes", &SummonerRuneInventory::summoner_runes);
  dtos.Add<SummonerIcon>()
      .Field("iconId", &SummonerIcon::icon_id)
      .Field("purchaseDate", &SummonerIcon::purchase_date)
      .Field("summonerId", &SummonerIcon::summoner_id);
  dtos.Add<SummonerIconInventoryDTO>()
      .Field("dateString", &SummonerIconInventoryDTO::date_string)
      .Field("summonerId", &SummonerIconInventoryDTO::summoner_id)
      .Field("summonerIcons", &SummonerIconInventoryDTO::summoner_icons);
  dtos.Add<ContentItemIdentifier>()
      .Field("inventoryType", &ContentItemIdentifier::inventory_type)
      .Field("itemId", &ContentItemIdentifier::item_id);
  dtos.Add<SimpleMessage>()
      .Field("accountId", &SimpleMessage::account_id)
      .Field("msgId", &SimpleMessage::msg_id)
      .Field("type", &SimpleMessage::type)
      .Field("params", &SimpleMessage::params);
}

void Quarn::Client::Collections::RegisterApiTypes(BindingRegistry& registry, std::string_view api_name,
                                                  const std::vector<std::string>& tags) {
  using namespace Api;
  const ApiTypeRegistrar types{registry, api_name, tags};

  types.Add<CollectionsRental>("CollectionsRental")
      .Field("endDate", &CollectionsRental::end_date)
      .Field("purchaseDate", &CollectionsRental::purchase_date)
      .Field("winCountRemaining", &CollectionsRental::win_count_remaining)
      .Field("rented", &CollectionsRental::rented);
  types.Add<CollectionsOwnership>("CollectionsOwnership")
      .Field("freeToPlayReward", &CollectionsOwnership::free_to_play_reward)
      .Field("owned", &CollectionsOwnership::owned)
      .Field("rental", &CollectionsOwnership::rental);

  types.Add<CollectionsRune>("CollectionsRune")
      .Field("runeId", &CollectionsRune::rune_id)
      .Field("runeSlotId", &CollectionsRune::rune_slot_id);
  types.Add<CollectionsRunePage>("CollectionsRunePage")
      .Field("current", &CollectionsRunePage::current)
      .Field("id", &CollectionsRunePage::id)
      .Field("name", &CollectionsRunePage::name)
      .Field("runes", &CollectionsRunePage::runes);
  types.Add<CollectionsRuneBook>("CollectionsRuneBook")
      .Field("summonerId", &CollectionsRuneBook::summoner_id)
      .Field("pages", &CollectionsRuneBook::pages);
  types.Add<CollectionsRuneQuantity>("CollectionsRuneQuantity")
      .Field("runeId", &CollectionsRuneQuantity::rune_id)
      .Field("quantity", &CollectionsRuneQuantity::quantity);
  types.Add<CollectionsRuneQuantities>("CollectionsRuneQuantities")
      .Field("summonerId", &CollectionsRuneQuantities::summoner_id)
      .Field("runeQuantities", &CollectionsRuneQuantities::rune_quantities);

  types.Add<CollectionsMastery>("CollectionsMastery")
      .Field("id", &CollectionsMastery::id)
      .Field("rank", &CollectionsMastery::rank);
  types.Add<CollectionsMasteryPage>("CollectionsMasteryPage")
      .Field("current", &CollectionsMasteryPage::current)
      .Field("id", &CollectionsMasteryPage::id)
      .Field("name", &CollectionsMasteryPage::name)
      .Field("summary", &CollectionsMasteryPage::summary)
      .Field("masteries", &CollectionsMasteryPage::masteries);
  types.Add<CollectionsMasteryBook>("CollectionsMasteryBook")
      .Field("summonerId", &CollectionsMasteryBook::summoner_id)
      .Field("pages", &CollectionsMasteryBook::pages);

  types.Add<SummonerData>("SummonerData")
      .Field("spellBook", &SummonerData::spell_book)
      .Field("masteryBook", &SummonerData::mastery_book);
  types.Add<CollectionLoginDataPacket>("CollectionLoginDataPacket")
      .Field("allSummonerData", &CollectionLoginDataPacket::all_summoner_data);

  types.Add<CollectionsSummonerSpells>("CollectionsSummonerSpells")
      .Field("summonerId", &CollectionsSummonerSpells::summoner_id)
      .Field("spells", &CollectionsSummonerSpells::spells);
  types.Add<CollectionsSummonerIcon>("CollectionsSummonerIcon")
      .Field("iconId", &CollectionsSummonerIcon::icon_id)
      .Field("ownership", &CollectionsSummonerIcon::ownership);
  types.Add<CollectionsSummonerIcons>("CollectionsSummonerIcons")
      .Field("summonerId", &CollectionsSummonerIcons::summoner_id)
      .Field("icons", &CollectionsSummonerIcons::icons);

  types.Add<CollectionsChampionMastery>("CollectionsChampionMastery")
      .Field("playerId", &CollectionsChampionMastery::player_id)
      .Field("championId", &CollectionsChampionMastery::champion_id)
      .Field("championLevel", &CollectionsChampionMastery::champion_level)
      .Field("championPoints", &CollectionsChampionMastery::champion_points)
      .Field("lastPlayTime", &CollectionsChampionMastery::last_play_time)
      .Field("championPointsSinceLastLevel", &CollectionsChampionMastery::champion_points_since_last_level)
      .Field("championPointsUntilNextLevel", &CollectionsChampionMastery::champion_points_until_next_level)
      .Field("chestGranted", &CollectionsChampionMastery::chest_granted)
      .Field("highestGrade", &CollectionsChampionMastery::highest_grade);
  types.Add<CollectionsTopChampionMasteries>("CollectionsTopChampionMasteries")
      .Field("summonerId", &CollectionsTopChampionMasteries::summoner_id)
      .Field("score", &CollectionsTopChampionMasteries::score)
      .Field("masteries", &CollectionsTopChampionMasteries::masteries);
  types.Add<CollectionsChestEligibility>("CollectionsChestEligibility")
      .Field("earnableChests", &CollectionsChestEligibility::earnable_chests)
      .Field("maximumChests", &CollectionsChestEligibility::maximum_chests)
      .Field("nextChestRechargeTime", &CollectionsChestEligibility::next_chest_recharge_time);

  using BackdropType = CollectionsSummonerBackdropType;
  types.AddEnum<BackdropType>("CollectionsSummonerBackdropType")
      .Value("default", BackdropType::kDefault)
      .Value("recently-played", BackdropType::kRecentlyPlayed)
      .Value("summoner-icon", BackdropType::kSummonerIcon)
      .Value("highest-mastery", BackdropType::kHighestMastery);
  types.Add<CollectionsSummonerBackdrop>("CollectionsSummonerBackdrop")
      .Field("summonerId", &CollectionsSummonerBackdrop::summoner_id)
      .Field("accountId", &CollectionsSummonerBackdrop::account_id)
      .Field("profileIconId", &CollectionsSummonerBackdrop::profile_icon_id)
      .Field("championId", &CollectionsSummonerBackdrop::champion_id)
      .Field("backdropType", &CollectionsSummonerBackdrop::backdrop_type)
      .Field("backdropImage", &CollectionsSummonerBackdrop::backdrop_image)
      .Field("backdropVideo", &CollectionsSummonerBackdrop::backdrop_video)
      .Field("backdropMaskColor", &CollectionsSummonerBackdrop::backdrop_mask_color);

  types.Add<CollectionsWardSkinList>("CollectionsWardSkinList")
      .Field("wardSkinList", &CollectionsWardSkinList::ward_skin_list);
  types.Add<CollectionsWardSkin>("CollectionsWardSkin")
      .Field("id", &CollectionsWardSkin::id)
      .Field("name", &CollectionsWardSkin::name)
      .Field("description", &CollectionsWardSkin::description)
      .Field("ownership", &CollectionsWardSkin::ownership)
      .Field("wardImagePath", &CollectionsWardSkin::ward_image_path)
      .Field("wardShadowImagePath", &CollectionsWardSkin::ward_shadow_image_path);

  types.Add<AcsChampionGames>("AcsChampionGames")
      .Field("championId", &AcsChampionGames::champion_id)
      .Field("queue", &AcsChampionGames::queue);
  types.Add<AcsChampionGamesCollection>("AcsChampionGamesCollection")
      .Field("gameCount", &AcsChampionGamesCollection::game_count)
      .Field("champions", &AcsChampionGamesCollection::champions);
  types.Add<Summoner>("Summoner")
      .Field("summonerId", &Summoner::summoner_id)
      .Field("accountId", &Summoner::account_id)
      .Field("summonerLevel", &Summoner::summoner_level)
      .Field("profileIconId", &Summoner::profile_icon_id);
  types.Add<PlayerNotification>("PlayerNotification")
      .Field("backgroundUrl", &PlayerNotification::background_url)
      .Field("critical", &PlayerNotification::critical)
      .Field("data", &PlayerNotification::data)
      .Field("detailKey", &PlayerNotification::detail_key)
      .Field("iconUrl", &PlayerNotification::icon_url)
      .Field("id", &PlayerNotification::id)
      .Field("source", &PlayerNotification::source)
      .Field("state", &PlayerNotification::state)
      .Field("titleKey", &PlayerNotification::title_key)
      .Field("type", &PlayerNotification::type);
  types.AddEnum<LoginSessionStates>("LoginSessionStates")
      .Value("IN_PROGRESS", LoginSessionStates::kInProgress)
      .Value("ERROR", LoginSessionStates::kError)
      .Value("SUCCEEDED", LoginSessionStates::kSucceeded)
      .Value("LOGGING_OUT", LoginSessionStates::kLoggingOut);
  types.Add<LoginSession>("LoginSession")
      .Field("state", &LoginSession::state)
      .Field("summonerId", &LoginSession::summoner_id)
      .Field("accountId", &LoginSession::account_id)
      .Field("connected", &LoginSession::connected);
  types.Add<TrovDynamicClientConfig>("TrovDynamicClientConfig")
      .Field("DisabledChampions", &TrovDynamicClientConfig::disabled_champions);
  types.Add<GameDataChampionSummary>("GameDataChampionSummary").Field("id", &GameDataChampionSummary::id);
  types.Add<GameDataChampionMasteryRow>("GameDataChampionMasteryRow")
      .Field("masteries", &GameDataChampionMasteryRow::masteries);
  types.Add<GameDataChampionMasteryGroup>("GameDataChampionMasteryGroup")
      .Field("id", &GameDataChampionMasteryGroup::id)
      .Field("rows", &GameDataChampionMasteryGroup::rows);
  types.Add<GameDataChampionMasteryTree>("GameDataChampionMasteryTree")
      .Field("groups", &GameDataChampionMasteryTree::groups);
  types.Add<GameDataChampionMasteries>("GameDataChampionMasteries")
      .Field("tree", &GameDataChampionMasteries::tree);
  types.Add<GameDataSplashMetadata>("GameDataSplashMetadata")
      .Field("CalculatedColor", &GameDataSplashMetadata::calculated_color)
      .Field("OverrideColor", &GameDataSplashMetadata::override_color);
}
