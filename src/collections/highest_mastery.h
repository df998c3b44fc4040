// HighestMastery: what the profile backdrop asks of the champion masteries,
// and nothing more. The champion-mastery collection answers it.
#pragma once

#include <cstdint>

#include "binding/maybe_type.h"

namespace Quarn::Client::Collections {

class HighestMastery {
 public:
  // The champion of `summoner`'s best mastery (by level, then points); 0
  // when they have none. Fails as GET .../champion-mastery/top does.
  // [re-entrant]
  virtual Maybe<int32_t> HighestMasteryChampion(uint64_t summoner) = 0;
  // Grows each time the ChampionMasteryConfig Enabled setting is applied as
  // true: a choice made before may have been made without masteries.
  virtual uint64_t enabled_count() const = 0;

 protected:
  ~HighestMastery() = default;
};

}  // namespace Quarn::Client::Collections
