// The profile backdrop: route 20, the choice among four sources in order
// (a backdrop made for the profile icon, the champion most played
// recently, the champion of highest mastery, the default), and its
// republication when the logged-in summoner's icon or recent games change.
//
// Pictures are paths into the game data's assets; only their existence
// (HEAD) and the splash metadata are read. What each source found is kept
// per summoner, so a later request reads only the splash metadata. A
// source whose read failed is not remembered: the next request asks again.
//
// Operations take the service (borrowed for the call); those that read are
// [re-entrant: other callbacks may run before this returns].
#pragma once

#include <cstdint>

#include "binding/maybe_type.h"
#include "collections/api_types.h"
#include "runtime/app_module.h"

namespace Quarn::Client::Collections {

class CollectionsService;

// The champion played most among a summoner's recent games.
struct MostPlayed {
  int32_t champion_id = 0;  // 0 when there were no games
  int32_t games = 0;
  // Whether it may give the backdrop: a real champion played 3 times or more.
  bool Qualifies() const { return champion_id != 0 && games >= 3; }
};
// Counts the first min(gameCount, 20, entries) games per champion; the
// highest count wins, and of equal counts the one that reached it first.
MostPlayed MostPlayedChampion(const Api::AcsChampionGamesCollection& games);

// Registers route 20.
void RegisterBackdropRoutes(CollectionsService& service);
// Subscribes to the logged-in summoner's recently played champions and to
// the current summoner, in that order. [re-entrant: each current value is
// fetched and delivered at once]
void SubscribeBackdropSources(CollectionsService& service);

// Route 20 with `refresh` false. `refresh` re-reads the summoner data and
// the icon's assets instead of taking what is kept.
// Failure: 500 "Error requesting summoner data for %1." when the summoner
// data cannot be read (summoner 0 included); every other source only falls
// through to the next.
Maybe<Api::CollectionsSummonerBackdrop> GetBackdrop(CollectionsService& service, uint64_t summoner,
                                                    bool refresh);

// The recent games of the logged-in summoner changed: keeps them, forgets
// that summoner's recently-played choice and publishes the new backdrop.
// Ignored unless created or updated while someone is logged in.
void OnRecentGames(CollectionsService& service, const ResourceEvent<Api::AcsChampionGamesCollection>& event);
// The current summoner changed (any event): re-reads and publishes the
// logged-in summoner's backdrop.
void OnCurrentSummoner(CollectionsService& service, const ResourceEvent<Api::Summoner>& event);

// Forgets every summoner's highest-mastery choice.
void ClearHighestMasteryBackdrops(CollectionsService& service);
// Empties every backdrop table and the kept recent games (the session
// ended).
void OnLoggedOut(CollectionsService& service);

}  // namespace Quarn::Client::Collections
