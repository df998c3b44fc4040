// The mastery-tree tables (which tree each mastery belongs to) and the
// tally of a mastery page's points per tree.
//
// A tree is named by the decimal text of its group id in the game data's
// mastery asset (group 1 is the tree "1"). The tables are plain data: the
// service fills them once from the game-data plug-in and reads them after.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <span>
#include <string>
#include <unordered_map>

#include "collections/api_types.h"

namespace Quarn::Client::Collections {

struct MasteryTrees {
  std::unordered_map<uint32_t, std::string> tree_of_mastery;  // mastery id -> tree name
  std::set<std::string> tree_names;                           // every tree, once
};

// The tables of the mastery asset: groups in order, every mastery id of
// every row of a group mapped to the group's tree. A mastery listed under
// two groups ends in the later one. An asset without groups gives empty
// tables.
MasteryTrees BuildMasteryTrees(const Api::GameDataChampionMasteries& asset);

// Points per tree of one page's masteries: every known tree is present
// (0 when the page spends nothing there), and each mastery adds its rank
// to its tree. A mastery without a tree adds nothing and is logged at the
// ERROR level ("Could not find mastery tree for mastery id: <id>").
// Points are summed exactly and then clamped to 0..4294967295, so a
// negative rank from a client lowers its tree's points but never wraps.
// Empty tables (the asset failed to load) give an empty map.
std::map<std::string, uint32_t> SummaryOf(const MasteryTrees& trees,
                                          std::span<const Api::CollectionsMastery> masteries);

}  // namespace Quarn::Client::Collections
