#include "collections/mastery_trees.h"

#include <algorithm>
#include <limits>

#include "diagnostics/logger.h"

Quarn::Client::Collections::MasteryTrees Quarn::Client::Collections::BuildMasteryTrees(
    const Api::GameDataChampionMasteries& asset) {
  MasteryTrees trees;
  for (const Api::GameDataChampionMasteryGroup& group : asset.tree.groups) {
    std::string name = std::to_string(group.id);
    for (const Api::GameDataChampionMasteryRow& row : group.rows) {
      for (uint32_t mastery_id : row.masteries) trees.tree_of_mastery[mastery_id] = name;
    }
    trees.tree_names.insert(std::move(name));
  }
  return trees;
}

std::map<std::string, uint32_t> Quarn::Client::Collections::SummaryOf(
    const MasteryTrees& trees, std::span<const Api::CollectionsMastery> masteries) {
  // Summed wide: ranks come from clients and may be negative or huge.
  std::map<std::string, int64_t> points;
  for (const std::string& name : trees.tree_names) points.emplace(name, 0);
  for (const Api::CollectionsMastery& mastery : masteries) {
    const auto tree = trees.tree_of_mastery.find(mastery.id);
    if (tree == trees.tree_of_mastery.end()) {
      Log(kLogError, kChannelDbg, "Could not find mastery tree for mastery id: %u", mastery.id);
      continue;
    }
    points[tree->second] += mastery.rank;
  }
  std::map<std::string, uint32_t> summary;
  for (const auto& [name, total] : points) {
    const int64_t clamped = std::clamp<int64_t>(total, 0, std::numeric_limits<uint32_t>::max());
    summary.emplace_hint(summary.end(), name, static_cast<uint32_t>(clamped));
  }
  return summary;
}
