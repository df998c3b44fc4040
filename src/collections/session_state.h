// The Collections service's session state and the caches of the rune book,
// the mastery book, rune quantities and summoner icons.
//
// Plain data held by the service object (CollectionsService::state()) and
// touched only on the host's thread. Handlers that await re-read it after
// the wait: a session event may have changed it meanwhile.
//
// Every summoner cache belongs to one summoner, `caches_summoner`: the
// service empties them all (TieCachesTo, collections/session.h) before
// filling any of them for someone else, so a cache never answers for a
// summoner it was not filled for.
#pragma once

#include <cstdint>

#include "collections/api_types.h"
#include "collections/mastery_trees.h"

namespace Quarn::Client::Collections {

struct SessionState {
  bool logged_in = false;         // the last session event had a logged-in summoner
  bool connected = false;         // `connected` of the last session event
  uint64_t current_summoner = 0;  // the logged-in summoner; 0 when nobody is logged in
  uint64_t account_id = 0;        // the logged-in summoner's account; 0 when nobody is logged in
  uint64_t caches_summoner = 0;   // whose data the summoner caches hold (0: nobody's yet)
};

struct RuneBookCache {
  Api::CollectionsRuneBook book;  // summonerId 0 until first filled
  uint32_t current_page_id = 0;   // 0: no current page known
};

struct MasteryBookCache {
  Api::CollectionsMasteryBook book;  // summonerId 0 until first filled
  uint32_t current_page_id = 0;
  uint32_t next_page_id = 0;  // id the next created page gets
};

template <class T>
struct LoadedCache {
  bool loaded = false;  // cleared when a purchase makes `value` stale
  T value;
};

// The first half's summoner caches; the second half keeps its own in
// SecondHalfState (collections/second_half_state.h).
struct SummonerCaches {
  RuneBookCache rune_book;
  MasteryBookCache mastery_book;
  LoadedCache<Api::CollectionsRuneQuantities> rune_quantities;
  LoadedCache<Api::CollectionsSummonerIcons> icons;
};

struct CollectionsState {
  SessionState session;
  SummonerCaches caches;
  MasteryTrees mastery_trees;  // game data, loaded once at init; not per summoner
};

}  // namespace Quarn::Client::Collections
