// Reading and writing the world's records as host values. Each record is
// described once, by a Describe overload that names its keys and members;
// ValueReader walks a value into a record (with the path of every problem),
// WriteValue turns a record back into a value. Shared by the world file and
// by the backend stand-in, whose saved books use the same page records.
#pragma once

#include <algorithm>
#include <concepts>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "host/host_value.h"
#include "host/world_records.h"
#include "kiv/plugin_abi.h"

namespace kiv::host::detail {

// ------------------------------------------------------------ descriptions

template <class Io>
void Describe(Io& io, WorldRuneSlot& r) {
  io("runeId", r.rune_id);
  io("runeSlotId", r.rune_slot_id);
}
template <class Io>
void Describe(Io& io, WorldRunePage& r) {
  io("pageId", r.page_id);
  io("name", r.name);
  io("current", r.current);
  io("createDate", r.create_date);
  io("slotEntries", r.slot_entries);
}
template <class Io>
void Describe(Io& io, WorldTalent& r) {
  io("talentId", r.talent_id);
  io("rank", r.rank);
}
template <class Io>
void Describe(Io& io, WorldMasteryPage& r) {
  io("pageId", r.page_id);
  io("name", r.name);
  io("current", r.current);
  io("createDate", r.create_date);
  io("talentEntries", r.talent_entries);
}
template <class Io>
void Describe(Io& io, WorldRune& r) {
  io("runeId", r.rune_id);
  io("quantity", r.quantity);
  io("purchaseDate", r.purchase_date);
  io("purchased", r.purchased);
}
template <class Io>
void Describe(Io& io, WorldIcon& r) {
  io("iconId", r.icon_id);
  io("purchaseDate", r.purchase_date);
}
template <class Io>
void Describe(Io& io, WorldChampionMastery& r) {
  io("championId", r.champion_id);
  io("championLevel", r.champion_level);
  io("championPoints", r.champion_points);
  io("lastPlayTime", r.last_play_time);
  io("championPointsSinceLastLevel", r.champion_points_since_last_level);
  io("championPointsUntilNextLevel", r.champion_points_until_next_level);
  io("chestGranted", r.chest_granted);
  io("highestGrade", r.highest_grade);
}
template <class Io>
void Describe(Io& io, WorldChestEligibility& r) {
  io("earnableChests", r.earnable_chests);
  io("maximumChests", r.maximum_chests);
  io("nextChestRechargeTime", r.next_chest_recharge_time);
}
template <class Io>
void Describe(Io& io, WorldGame& r) {
  io("championId", r.champion_id);
  io("queue", r.queue);
}
template <class Io>
void Describe(Io& io, WorldSummoner& r) {
  io("summonerId", r.summoner_id);
  io("accountId", r.account_id);
  io("displayName", r.display_name);
  io("summonerLevel", r.summoner_level);
  io("profileIconId", r.profile_icon_id);
  io("runePages", r.rune_pages);
  io("masteryPages", r.mastery_pages);
  io("runes", r.runes);
  io("icons", r.icons);
  io("wardSkins", r.ward_skins);
  io("championMasteries", r.champion_masteries);
  io("chestEligibility", r.chest_eligibility);
  io("recentGames", r.recent_games);
}
template <class Io>
void Describe(Io& io, WorldLogin& r) {
  io("loggedIn", r.logged_in);
  io("summonerId", r.summoner_id);
  io("state", r.state);
  io("connected", r.connected);
}
template <class Io>
void Describe(Io& io, WorldBackdrops& r) {
  io("webm", r.webm);
  io("jpg", r.jpg);
}
template <class Io>
void Describe(Io& io, WorldGameData& r) {
  io("summonerMasteries", r.summoner_masteries);
  io("summonerSpells", r.summoner_spells);
  io("wardSkins", r.ward_skins);
  io("championSplashes", r.champion_splashes);
  io("summonerBackdrops", r.summoner_backdrops);
}
template <class Io>
void Describe(Io& io, World& r) {
  io("login", r.login);
  io("summoners", r.summoners);
  io("gameData", r.game_data);
  io("platformConfig", r.platform_config);
}

// ------------------------------------------------------------------ paths

inline std::string JoinPath(std::string_view path, std::string_view key) {
  if (path.empty()) return std::string(key);
  std::string out(path);
  out += '.';
  out += key;
  return out;
}
inline std::string IndexPath(std::string_view path, size_t index) {
  return std::string(path) + "[" + std::to_string(index) + "]";
}

// The member `key` of an object value; null when absent or not an object.
const HostValue* FindMember(const HostValue& object, std::string_view key);
// A short rendering of a value for messages: JSON, cut at 40 characters.
std::string Preview(const HostValue& value);

// ---------------------------------------------------------------- reading

class ValueReader {
 public:
  // `strict_keys`: report members that the record does not describe.
  explicit ValueReader(bool strict_keys = true) : strict_keys_(strict_keys) {}

  // Each Read leaves `out` unchanged and records a problem when the value
  // does not fit. A null value counts as absent.
  void Read(const HostValue& value, const std::string& path, bool& out);
  void Read(const HostValue& value, const std::string& path, std::string& out);
  void Read(const HostValue& value, const std::string& path, OwnedValue& out);
  template <std::integral T>
  requires(!std::same_as<T, bool>) void Read(const HostValue& value, const std::string& path, T& out) {
    int64_t low = 0;
    uint64_t high = 0;
    if (!ReadInteger(value, path, std::is_signed_v<T>, low, high)) return;
    if constexpr (std::is_signed_v<T>) {
      if (low < std::numeric_limits<T>::min() || low > std::numeric_limits<T>::max())
        return Problem(path, Preview(value) + " is out of range for " + IntegerName<T>());
      out = static_cast<T>(low);
    } else {
      if (high > std::numeric_limits<T>::max())
        return Problem(path, Preview(value) + " is out of range for " + IntegerName<T>());
      out = static_cast<T>(high);
    }
  }
  template <class T>
  void Read(const HostValue& value, const std::string& path, std::vector<T>& out) {
    if (value.tag == KIV_VALUE_NULL) return;
    if (value.tag != KIV_VALUE_ARRAY) return Problem(path, "expected a list, got " + Preview(value));
    const auto* elements = static_cast<const HostValue*>(value.data.seq.data);
    std::vector<T> read(value.data.seq.count);
    for (uint32_t i = 0; i < value.data.seq.count; ++i) Read(elements[i], IndexPath(path, i), read[i]);
    out = std::move(read);
  }
  template <class T>
  void Read(const HostValue& value, const std::string& path, std::map<std::string, T>& out) {
    if (value.tag == KIV_VALUE_NULL) return;
    if (value.tag != KIV_VALUE_OBJECT) return Problem(path, "expected an object, got " + Preview(value));
    const auto* members = static_cast<const HostMember*>(value.data.seq.data);
    std::map<std::string, T> read;
    for (uint32_t i = 0; i < value.data.seq.count; ++i) {
      const std::string key = members[i].key != nullptr ? members[i].key : "";
      Read(members[i].value, JoinPath(path, key), read[key]);
    }
    out = std::move(read);
  }
  template <class T>
  requires std::is_class_v<T>
  void Read(const HostValue& value, const std::string& path, T& out) {
    if (value.tag == KIV_VALUE_NULL) return;
    if (value.tag != KIV_VALUE_OBJECT) return Problem(path, "expected an object, got " + Preview(value));
    ObjectReader io{*this, value, path, {}};
    Describe(io, out);
    if (strict_keys_) ReportUnknownKeys(value, path, io.keys);
  }

  void Problem(const std::string& path, std::string text) {
    problems_.push_back(path.empty() ? std::move(text) : path + ": " + text);
  }
  const std::vector<std::string>& problems() const { return problems_; }
  bool ok() const { return problems_.empty(); }

 private:
  struct ObjectReader {
    ValueReader& reader;
    const HostValue& object;
    const std::string& path;
    std::vector<std::string_view> keys;
    template <class T>
    void operator()(std::string_view key, T& field) {
      keys.push_back(key);
      if (const HostValue* member = FindMember(object, key)) reader.Read(*member, JoinPath(path, key), field);
    }
  };
  template <class T>
  static std::string IntegerName() {
    return std::string(std::is_signed_v<T> ? "int" : "uint") + std::to_string(sizeof(T) * 8);
  }
  bool ReadInteger(const HostValue& value, const std::string& path, bool is_signed, int64_t& low,
                   uint64_t& high);
  void ReportUnknownKeys(const HostValue& object, const std::string& path,
                         const std::vector<std::string_view>& keys);

  bool strict_keys_;
  std::vector<std::string> problems_;
};

// ---------------------------------------------------------------- writing

OwnedValue WriteValue(bool value);
OwnedValue WriteValue(const std::string& value);
OwnedValue WriteValue(const OwnedValue& value);
template <std::integral T>
requires(!std::same_as<T, bool>) OwnedValue WriteValue(T value) {
  if constexpr (std::is_signed_v<T>) {
    return OwnedValue::Signed(value);
  } else {
    return OwnedValue::Unsigned(value);
  }
}
template <class T>
OwnedValue WriteValue(const std::vector<T>& values);
template <class T>
OwnedValue WriteValue(const std::map<std::string, T>& values);
template <class T>
requires std::is_class_v<T> OwnedValue WriteValue(const T& record);

// Collects a record's members; extra members may be added before Build.
struct ObjectWriter {
  std::vector<std::pair<std::string, OwnedValue>> members;
  template <class T>
  void operator()(std::string_view key, const T& field) {
    members.emplace_back(std::string(key), WriteValue(field));
  }
  OwnedValue Build() const { return OwnedValue::Object(members); }
};

template <class T>
OwnedValue WriteValue(const std::vector<T>& values) {
  std::vector<OwnedValue> elements;
  elements.reserve(values.size());
  for (const T& v : values) elements.push_back(WriteValue(v));
  return OwnedValue::Array(elements);
}
template <class T>
OwnedValue WriteValue(const std::map<std::string, T>& values) {
  std::vector<std::pair<std::string, OwnedValue>> members;
  for (const auto& [key, v] : values) members.emplace_back(key, WriteValue(v));
  return OwnedValue::Object(members);
}
template <class T>
requires std::is_class_v<T> OwnedValue WriteValue(const T& record) {
  ObjectWriter io;
  // Describe takes a mutable record so one description serves reading too;
  // the writer only reads the members.
  Describe(io, const_cast<T&>(record));
  return io.Build();
}

// The members of a record, for callers that add some before building.
template <class T>
ObjectWriter RecordMembers(const T& record) {
  ObjectWriter io;
  Describe(io, const_cast<T&>(record));
  return io;
}

}  // namespace kiv::host::detail
