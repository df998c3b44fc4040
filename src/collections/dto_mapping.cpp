#include "collections/dto_mapping.h"

#include <algorithm>

#include "collections/time_stamp.h"

namespace Api = Quarn::Client::Collections::Api;
namespace TROV = Quarn::Client::Collections::TROV;

Api::CollectionsRuneBook Quarn::Client::Collections::ToRuneBook(const TROV::SpellBookDTO& dto) {
  Api::CollectionsRuneBook book;
  book.summoner_id = dto.summoner_id;
  book.pages.reserve(dto.book_pages.size());
  for (const TROV::SpellBookPageDTO& source : dto.book_pages) {
    Api::CollectionsRunePage& page = book.pages.emplace_back();
    page.current = source.current;
    page.id = source.page_id;
    page.name = source.name;
    page.runes.reserve(source.slot_entries.size());
    for (const TROV::SlotEntry& entry : source.slot_entries)
      page.runes.push_back({entry.rune_id, entry.rune_slot_id});
  }
  return book;
}

TROV::SpellBookDTO Quarn::Client::Collections::ToSpellBookDto(const Api::CollectionsRuneBook& book,
                                                              uint64_t summoner_id) {
  TimeStamp now = TimeStampNow();
  TROV::SpellBookDTO dto;
  dto.summoner_id = summoner_id;
  dto.date_string = std::move(now.date_string);
  dto.book_pages.reserve(book.pages.size());
  for (const Api::CollectionsRunePage& page : book.pages) {
    dto.book_pages.push_back(ToSpellBookPageDto(page, summoner_id, now.create_date));
  }
  return dto;
}

TROV::SpellBookPageDTO Quarn::Client::Collections::ToSpellBookPageDto(const Api::CollectionsRunePage& page,
                                                                      uint64_t summoner_id,
                                                                      uint64_t create_date) {
  TROV::SpellBookPageDTO dto;
  dto.name = page.name;
  dto.page_id = page.id;
  dto.summoner_id = summoner_id;
  dto.create_date = create_date;
  dto.slot_entries.reserve(page.runes.size());
  for (const Api::CollectionsRune& rune : page.runes)
    dto.slot_entries.push_back({rune.rune_id, rune.rune_slot_id});
  dto.current = page.current;
  return dto;
}

Api::CollectionsMasteryBook Quarn::Client::Collections::ToMasteryBook(const TROV::MasteryBookDTO& dto,
                                                                      const MasteryTrees& trees) {
  Api::CollectionsMasteryBook book;
  book.summoner_id = dto.summoner_id;
  book.pages.reserve(dto.book_pages.size());
  for (const TROV::MasteryBookPageDTO& source : dto.book_pages) {
    Api::CollectionsMasteryPage& page = book.pages.emplace_back();
    page.current = source.current;
    page.id = source.page_id;
    page.name = source.name;
    page.masteries.reserve(source.talent_entries.size());
    for (const TROV::TalentEntry& entry : source.talent_entries) {
      // The backend's ids are signed, ours unsigned: the bits are kept so a
      // page saved back carries the ids it came with.
      page.masteries.push_back({static_cast<uint32_t>(entry.talent_id), entry.rank});
    }
    page.summary = SummaryOf(trees, page.masteries);
  }
  return book;
}

TROV::MasteryBookDTO Quarn::Client::Collections::ToMasteryBookDto(const Api::CollectionsMasteryBook& book,
                                                                  uint64_t summoner_id) {
  TimeStamp now = TimeStampNow();
  TROV::MasteryBookDTO dto;
  dto.summoner_id = summoner_id;
  dto.date_string = std::move(now.date_string);
  dto.book_pages.reserve(book.pages.size());
  for (const Api::CollectionsMasteryPage& page : book.pages) {
    TROV::MasteryBookPageDTO& target = dto.book_pages.emplace_back();
    target.name = page.name;
    target.page_id = page.id;
    target.summoner_id = summoner_id;
    target.create_date = now.create_date;
    target.talent_entries.reserve(page.masteries.size());
    for (const Api::CollectionsMastery& mastery : page.masteries) {
      target.talent_entries.push_back({mastery.rank, static_cast<int32_t>(mastery.id)});
    }
    target.current = page.current;
  }
  return dto;
}

Api::CollectionsRuneQuantities Quarn::Client::Collections::ToRuneQuantities(
    const TROV::SummonerRuneInventory& inventory) {
  Api::CollectionsRuneQuantities quantities;
  quantities.summoner_id = inventory.summoner_id;
  quantities.rune_quantities.reserve(inventory.summoner_runes.size());
  for (const TROV::SummonerRune& rune : inventory.summoner_runes) {
    quantities.rune_quantities.push_back({rune.rune_id, rune.quantity});
  }
  std::stable_sort(quantities.rune_quantities.begin(), quantities.rune_quantities.end(),
                   [](const auto& a, const auto& b) { return a.rune_id < b.rune_id; });
  return quantities;
}

Api::CollectionsSummonerIcons Quarn::Client::Collections::ToSummonerIcons(
    const TROV::SummonerIconInventoryDTO& inventory) {
  Api::CollectionsSummonerIcons icons;
  icons.summoner_id = inventory.summoner_id;
  icons.icons.reserve(kFreeSummonerIconCount + inventory.summoner_icons.size());
  for (int32_t id = 0; id < kFreeSummonerIconCount; ++id) icons.icons.push_back(id);
  for (const TROV::SummonerIcon& icon : inventory.summoner_icons) icons.icons.push_back(icon.icon_id);
  return icons;
}
