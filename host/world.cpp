#include "host/world.h"

#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unordered_map>

#include "binding/yaml_reader.h"
#include "host/binding_values.h"
#include "host/detail/world_io.h"

namespace {

using kiv::host::OwnedValue;
using kiv::host::detail::IndexPath;
using kiv::host::detail::JoinPath;

constexpr std::string_view kSessionStates[] = {"IN_PROGRESS", "ERROR", "SUCCEEDED", "LOGGING_OUT"};

std::string JoinLines(const std::vector<std::string>& lines, std::string_view prefix) {
  std::string out;
  for (const auto& line : lines) {
    if (!out.empty()) out += '\n';
    out += prefix;
    out += line;
  }
  return out;
}

// Where a JSON parse stopped, as the 1-based line and column a person's
// editor shows, and the byte offset. Iterative: a file of a million "["
// must not take the stack.
std::string JsonErrorAt(std::string_view text) {
  rapidjson::BaseReaderHandler<> ignore;
  rapidjson::Reader reader;
  rapidjson::MemoryStream stream(text.data(), text.size());
  const rapidjson::ParseResult result = reader.Parse<rapidjson::kParseIterativeFlag>(stream, ignore);
  const size_t offset = std::min(result.Offset(), text.size());
  size_t line = 1;
  size_t column = 1;
  for (size_t i = 0; i < offset; ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  std::string reason = result.IsError() ? rapidjson::GetParseError_En(result.Code()) : "Not valid JSON.";
  if (reason.ends_with('.')) reason.pop_back();
  return std::to_string(line) + ":" + std::to_string(column) + ": " + reason + " (at offset " +
         std::to_string(offset) + ")";
}

// Reports the second and later holders of one id, naming the first.
template <class List, class Id>
void CheckUnique(const List& list, std::string_view list_path, std::string_view key, Id id_of,
                 std::vector<std::string>& problems, bool zero_allowed) {
  std::unordered_map<uint64_t, size_t> first_holder;
  first_holder.reserve(list.size());
  for (size_t i = 0; i < list.size(); ++i) {
    const auto id = id_of(list[i]);
    if (id == 0 && !zero_allowed) {
      problems.push_back(JoinPath(IndexPath(list_path, i), key) + ": 0 is not a valid id");
      continue;
    }
    const auto [it, first] = first_holder.emplace(static_cast<uint64_t>(id), i);
    if (!first) {
      problems.push_back(JoinPath(IndexPath(list_path, i), key) + ": " + std::to_string(id) + " is used by " +
                         IndexPath(list_path, it->second) + " too");
    }
  }
}

}  // namespace

// ---------------------------------------------------------------- world

kiv::host::WorldSummoner* kiv::host::World::Find(uint64_t summoner_id) {
  for (auto& s : summoners) {
    if (s.summoner_id == summoner_id) return &s;
  }
  return nullptr;
}

const kiv::host::WorldSummoner* kiv::host::World::Find(uint64_t summoner_id) const {
  return const_cast<World*>(this)->Find(summoner_id);
}

const kiv::host::WorldSummoner* kiv::host::World::FindByAccount(uint64_t account_id) const {
  for (const auto& s : summoners) {
    if (s.account_id == account_id) return &s;
  }
  return nullptr;
}

kiv::host::WorldSummoner* kiv::host::World::Current() {
  return login.logged_in ? Find(login.summoner_id) : nullptr;
}

const kiv::host::WorldSummoner* kiv::host::World::Current() const {
  return const_cast<World*>(this)->Current();
}

std::vector<std::string> kiv::host::CheckWorld(const World& world) {
  std::vector<std::string> problems;
  CheckUnique(
      world.summoners, "summoners", "summonerId", [](const WorldSummoner& s) { return s.summoner_id; },
      problems, /*zero_allowed=*/false);
  CheckUnique(
      world.summoners, "summoners", "accountId", [](const WorldSummoner& s) { return s.account_id; },
      problems, /*zero_allowed=*/false);
  for (size_t i = 0; i < world.summoners.size(); ++i) {
    const WorldSummoner& s = world.summoners[i];
    const std::string base = IndexPath("summoners", i);
    CheckUnique(
        s.rune_pages, JoinPath(base, "runePages"), "pageId", [](const WorldRunePage& p) { return p.page_id; },
        problems, /*zero_allowed=*/true);
    CheckUnique(
        s.mastery_pages, JoinPath(base, "masteryPages"), "pageId",
        [](const WorldMasteryPage& p) { return p.page_id; }, problems, /*zero_allowed=*/true);
  }
  if (std::find(std::begin(kSessionStates), std::end(kSessionStates), world.login.state) ==
      std::end(kSessionStates)) {
    problems.push_back("login.state: expected IN_PROGRESS, ERROR, SUCCEEDED or LOGGING_OUT, got \"" +
                       world.login.state + "\"");
  }
  if (world.login.logged_in && world.Find(world.login.summoner_id) == nullptr) {
    problems.push_back("login.summonerId: no summoner has the id " + std::to_string(world.login.summoner_id));
  }
  return problems;
}

Quarn::Maybe<kiv::host::World> kiv::host::ParseWorld(std::string_view text, std::string_view name,
                                                     bool yaml) {
  const std::string prefix = std::string(name) + ": ";
  OwnedValue root;
  if (yaml) {
    Quarn::BindingResult read = Quarn::ReadYaml(text);
    if (!read.ok()) return Quarn::Failure(prefix + std::string(read.ErrorMessage()));
    auto converted = FromBinding(read.value);
    if (converted.HasFailure()) return Quarn::Failure(prefix + converted.failure().message());
    root = converted.TakeValue();
  } else {
    auto parsed = OwnedValue::FromJson(text);
    if (parsed.HasFailure()) return Quarn::Failure(std::string(name) + ":" + JsonErrorAt(text));
    root = parsed.TakeValue();
  }
  if (root.tag() != KIV_VALUE_OBJECT)
    return Quarn::Failure(prefix + "expected an object at the top, got " + detail::Preview(root.get()));
  World world;
  detail::ValueReader reader;
  reader.Read(root.get(), "", world);
  if (!reader.ok()) return Quarn::Failure(JoinLines(reader.problems(), prefix));
  const std::vector<std::string> problems = CheckWorld(world);
  if (!problems.empty()) return Quarn::Failure(JoinLines(problems, prefix));
  return world;
}

Quarn::Maybe<kiv::host::World> kiv::host::LoadWorld(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Quarn::Failure("cannot read " + path + ": " + std::strerror(errno));
  std::ostringstream text;
  text << in.rdbuf();
  const bool yaml = path.ends_with(".yaml") || path.ends_with(".yml");
  return ParseWorld(text.str(), path, yaml);
}

kiv::host::OwnedValue kiv::host::WorldToValue(const World& world) { return detail::WriteValue(world); }

std::string kiv::host::WorldToJson(const World& world) { return WorldToValue(world).ToJson(); }
