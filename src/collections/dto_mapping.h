// Conversions between the backend DTOs and the API types of the rune book,
// the mastery book, rune quantities and summoner icons.
//
// Each takes its source by reference and returns a new value; none fails.
// The conversions to DTOs stamp their result with the service's clock
// (collections/time_stamp.h), read once per call.
#pragma once

#include <cstdint>

#include "collections/api_types.h"
#include "collections/mastery_trees.h"
#include "collections/trov_dtos.h"

namespace Quarn::Client::Collections {

// Number of summoner icons every summoner owns: the ids 0 to 28.
inline constexpr int32_t kFreeSummonerIconCount = 29;

// The book's pages in order with their runes in order. The DTO's date
// string, create dates and page summoner ids are dropped.
Api::CollectionsRuneBook ToRuneBook(const TROV::SpellBookDTO& dto);

// The book for `summoner_id` (the book's own summonerId is ignored), dated
// now; every page gets the same create date.
TROV::SpellBookDTO ToSpellBookDto(const Api::CollectionsRuneBook& book, uint64_t summoner_id);

// One page for `summoner_id` created at `create_date` (milliseconds since
// 1970-01-01 UTC).
TROV::SpellBookPageDTO ToSpellBookPageDto(const Api::CollectionsRunePage& page, uint64_t summoner_id,
                                          uint64_t create_date);

// The book's pages in order; each talent entry becomes a mastery (id from
// talentId, same 32 bits) and each page's summary is SummaryOf(trees, ...),
// which logs masteries that have no tree.
Api::CollectionsMasteryBook ToMasteryBook(const TROV::MasteryBookDTO& dto, const MasteryTrees& trees);

// The book for `summoner_id`, dated now; every page gets the same create
// date. Summaries are not sent.
TROV::MasteryBookDTO ToMasteryBookDto(const Api::CollectionsMasteryBook& book, uint64_t summoner_id);

// One quantity per rune of the inventory, ordered by rune id.
Api::CollectionsRuneQuantities ToRuneQuantities(const TROV::SummonerRuneInventory& inventory);

// The free icons 0 to 28, then the inventory's icons in its order; an
// owned icon below 29 appears twice.
Api::CollectionsSummonerIcons ToSummonerIcons(const TROV::SummonerIconInventoryDTO& inventory);

}  // namespace Quarn::Client::Collections
