#include "host/standins/stand_ins.h"

#include <algorithm>

#include "host/detail/world_io.h"

namespace {

using kiv::host::OwnedValue;
using kiv::host::WorldSummoner;
namespace cls = kiv::host::backend_class;

constexpr std::string_view kSessionUri = "/kiv-login/v1/session";
constexpr std::string_view kLoginDataUri = "/kiv-login/v1/login-data-packet";
constexpr std::string_view kCurrentSummonerUri = "/kiv-summoner/v1/current-summoner";
constexpr std::string_view kRecentGamesUri = "/kiv-acs/v2/recently-played-champions/current-summoner";
constexpr std::string_view kSessionStates[] = {"IN_PROGRESS", "ERROR", "SUCCEEDED", "LOGGING_OUT"};

Quarn::Failure Fail(uint32_t status, std::string message) {
  return Quarn::Failure(std::move(message), status);
}

Quarn::Failure NobodyLoggedIn() { return Fail(409, "Nobody is logged in; log in first"); }

std::string_view ChangeName(kiv::host::ResourceChange change) {
  switch (change) {
    case kiv::host::ResourceChange::kCreate:
      return "Create";
    case kiv::host::ResourceChange::kUpdate:
      return "Update";
    case kiv::host::ResourceChange::kDelete:
      break;
  }
  return "Delete";
}

}  // namespace

std::string kiv::host::ResourceEventName(std::string_view uri) {
  std::vector<std::string_view> parts{"OnJsonApiEvent"};
  size_t start = 0;
  while (start <= uri.size()) {
    size_t end = uri.find('/', start);
    if (end == std::string_view::npos) end = uri.size();
    if (end > start) parts.push_back(uri.substr(start, end - start));
    start = end + 1;
  }
  const size_t keep = parts.size() > 1 && parts[1] == "kiv-platform-config" ? 6 : 4;
  std::string name;
  for (size_t i = 0; i < std::min(keep, parts.size()); ++i) {
    if (i > 0) name += '_';
    name += parts[i];
  }
  return name;
}

std::string kiv::host::PushEventName(std::string_view class_name) {
  std::string name = "OnTrovEvent_" + std::string(class_name);
  std::replace(name.begin(), name.end(), '.', '_');
  return name;
}

kiv::host::StandIns::StandIns(HostLoop& loop, World world)
    : loop_(loop), world_(std::move(world)), backend_(world_) {
  Install();
}

kiv::host::StandIns::~StandIns() {
  for (const int id : handlers_) loop_.RemoveHandler(id);
}

void kiv::host::StandIns::Install() {
  InstallLogin();
  InstallSummoner();
  InstallGameData();
  InstallRecentlyPlayed();
  InstallPlatformConfig();
  InstallTelemetry();
}

void kiv::host::StandIns::Handle(uint32_t method, std::string_view path_template, RequestHandler handler) {
  handlers_.push_back(loop_.HandleRequest(method, path_template, std::move(handler)));
}

void kiv::host::StandIns::Publish(std::string_view uri, ResourceChange change, OwnedValue data) {
  OwnedValue payload = OwnedValue::Object({{"uri", OwnedValue::Text(uri)},
                                           {"eventType", OwnedValue::Text(ChangeName(change))},
                                           {"data", std::move(data)}});
  const std::string name = ResourceEventName(uri);
  if (name != "OnJsonApiEvent") loop_.PostEvent(name, payload);
  loop_.PostEvent("OnJsonApiEvent", std::move(payload));
}

// ------------------------------------------------------------ resources

OwnedValue kiv::host::StandIns::SessionValue() const {
  const WorldSummoner* summoner = world_.Find(world_.login.summoner_id);
  return OwnedValue::Object({
      {"state", OwnedValue::Text(world_.login.state)},
      {"summonerId", OwnedValue::Unsigned(world_.login.summoner_id)},
      {"accountId", OwnedValue::Unsigned(summoner != nullptr ? summoner->account_id : 0)},
      {"connected", OwnedValue::Bool(world_.login.connected)},
  });
}

OwnedValue kiv::host::StandIns::SummonerValue(const WorldSummoner& summoner) const {
  return OwnedValue::Object({
      {"summonerId", OwnedValue::Unsigned(summoner.summoner_id)},
      {"accountId", OwnedValue::Unsigned(summoner.account_id)},
      {"summonerLevel", OwnedValue::Unsigned(summoner.summoner_level)},
      {"profileIconId", OwnedValue::Signed(summoner.profile_icon_id)},
  });
}

OwnedValue kiv::host::StandIns::LoginDataValue(const WorldSummoner& summoner) const {
  return OwnedValue::Object({{"allSummonerData", OwnedValue::Object({
                                                     {"spellBook", Backend::SpellBookDto(summoner)},
                                                     {"masteryBook", Backend::MasteryBookDto(summoner)},
                                                 })}});
}

OwnedValue kiv::host::StandIns::RecentGamesValue(const WorldSummoner& summoner) const {
  return OwnedValue::Object({{"gameCount", OwnedValue::Unsigned(summoner.recent_games.size())},
                             {"champions", detail::WriteValue(summoner.recent_games)}});
}

// ----------------------------------------------------------- simulation

Quarn::Maybe<void> kiv::host::StandIns::LogIn(uint64_t summoner_id, std::string state) {
  if (world_.login.logged_in) {
    return Fail(409, "Summoner " + std::to_string(world_.login.summoner_id) + " is logged in; log out first");
  }
  if (std::find(std::begin(kSessionStates), std::end(kSessionStates), state) == std::end(kSessionStates))
    return Fail(400,
                "Unknown session state \"" + state + "\" (IN_PROGRESS, ERROR, SUCCEEDED or LOGGING_OUT)");
  const WorldSummoner* summoner = nullptr;
  if (summoner_id != 0) {
    summoner = world_.Find(summoner_id);
    if (summoner == nullptr) return Fail(404, "No summoner with id " + std::to_string(summoner_id));
  } else {
    summoner = world_.Find(world_.login.summoner_id);
    if (summoner == nullptr && !world_.summoners.empty()) summoner = &world_.summoners.front();
    if (summoner == nullptr) return Fail(404, "The world has no summoners");
  }
  world_.login = WorldLogin{true, summoner->summoner_id, std::move(state), true};
  Publish(kSessionUri, ResourceChange::kCreate, SessionValue());
  if (world_.login.state != "SUCCEEDED") return {};
  Publish(kCurrentSummonerUri, ResourceChange::kCreate, SummonerValue(*summoner));
  Publish(kLoginDataUri, ResourceChange::kCreate, LoginDataValue(*summoner));
  Publish(kRecentGamesUri, ResourceChange::kCreate, RecentGamesValue(*summoner));
  return {};
}

Quarn::Maybe<void> kiv::host::StandIns::LogOut() {
  if (!world_.login.logged_in) return Fail(409, "Nobody is logged in");
  const bool had_player = world_.login.state == "SUCCEEDED";
  world_.login.logged_in = false;
  Publish(kSessionUri, ResourceChange::kDelete, OwnedValue());
  if (!had_player) return {};
  Publish(kCurrentSummonerUri, ResourceChange::kDelete, OwnedValue());
  Publish(kLoginDataUri, ResourceChange::kDelete, OwnedValue());
  Publish(kRecentGamesUri, ResourceChange::kDelete, OwnedValue());
  return {};
}

Quarn::Maybe<void> kiv::host::StandIns::SetConnected(bool connected) {
  if (!world_.login.logged_in) return NobodyLoggedIn();
  world_.login.connected = connected;
  Publish(kSessionUri, ResourceChange::kUpdate, SessionValue());
  return {};
}

void kiv::host::StandIns::Push(std::string_view class_name, OwnedValue body) {
  loop_.PostEvent(PushEventName(class_name), OwnedValue::Object({
                                                 {"clientId", OwnedValue::Text("kiv-dev-host")},
                                                 {"subtopic", OwnedValue::Text("")},
                                                 {"typeName", OwnedValue::Text(class_name)},
                                                 {"body", std::move(body)},
                                             }));
}

void kiv::host::StandIns::SetPlatformConfig(const std::string& name_space, const std::string& key,
                                            OwnedValue value) {
  world_.platform_config[name_space][key] = value;
  Publish("/kiv-platform-config/v1/namespaces/" + name_space + "/" + key, ResourceChange::kUpdate,
          std::move(value));
}

Quarn::Maybe<void> kiv::host::StandIns::SetProfileIcon(int32_t icon_id) {
  WorldSummoner* player = world_.Current();
  if (player == nullptr) return NobodyLoggedIn();
  player->profile_icon_id = icon_id;
  Publish(kCurrentSummonerUri, ResourceChange::kUpdate, SummonerValue(*player));
  return {};
}

Quarn::Maybe<void> kiv::host::StandIns::SetRecentGames(std::vector<WorldGame> games) {
  WorldSummoner* player = world_.Current();
  if (player == nullptr) return NobodyLoggedIn();
  player->recent_games = std::move(games);
  Publish(kRecentGamesUri, ResourceChange::kUpdate, RecentGamesValue(*player));
  return {};
}

Quarn::Maybe<void> kiv::host::StandIns::GrantItem(const Grant& grant) {
  WorldSummoner* player = world_.Current();
  if (player == nullptr) return NobodyLoggedIn();
  const std::string& type = grant.inventory_type;
  if (type == "SUMMONER_ICON") {
    const auto id = static_cast<int32_t>(grant.item_id);
    if (std::none_of(player->icons.begin(), player->icons.end(),
                     [&](const WorldIcon& i) { return i.icon_id == id; }))
      player->icons.push_back({id, UtcMilliseconds()});
  } else if (type == "WARD_SKIN") {
    auto& owned = player->ward_skins;
    if (std::find(owned.begin(), owned.end(), grant.item_id) == owned.end()) owned.push_back(grant.item_id);
  } else if (type == "RUNE") {
    if (grant.item_id <= 0 || grant.item_id > UINT32_MAX)
      return Fail(400, "A rune id is a positive 32-bit number");
    const auto id = static_cast<uint32_t>(grant.item_id);
    auto it = std::find_if(player->runes.begin(), player->runes.end(),
                           [&](const WorldRune& r) { return r.rune_id == id; });
    if (it == player->runes.end()) {
      player->runes.push_back({id, grant.quantity, UtcMilliseconds(), UtcMilliseconds()});
    } else {
      it->quantity += grant.quantity;
    }
  } else if (type == "SPELL_BOOK_PAGE") {
    uint32_t next = 1;
    for (const auto& p : player->rune_pages) next = std::max(next, p.page_id + 1);
    WorldRunePage page;
    page.page_id = next;
    page.name = "Rune Page " + std::to_string(player->rune_pages.size() + 1);
    page.create_date = UtcMilliseconds();
    player->rune_pages.push_back(std::move(page));
  }
  if (!grant.notify) return {};
  OwnedValue data = type == "SPELL_BOOK_PAGE"
                        ? Backend::SpellBookDto(*player)
                        : OwnedValue::Object({{"__class", OwnedValue::Text(cls::kContentItem)},
                                              {"inventoryType", OwnedValue::Text(type)},
                                              {"itemId", OwnedValue::Signed(grant.item_id)}});
  const std::string_view class_name = grant.rental ? cls::kRentalUpdate : cls::kStoreFulfillment;
  Push(class_name, OwnedValue::Object({{"__class", OwnedValue::Text(class_name)},
                                       {"inventoryType", OwnedValue::Text(type)},
                                       {"data", std::move(data)}}));
  return {};
}

void kiv::host::StandIns::PushDialog(const WorldSummoner& summoner, std::string type,
                                     std::vector<std::string> params) {
  std::vector<OwnedValue> texts;
  for (const auto& p : params) texts.push_back(OwnedValue::Text(p));
  Push(cls::kSimpleDialog, OwnedValue::Object({
                               {"__class", OwnedValue::Text(cls::kSimpleDialog)},
                               {"accountId", OwnedValue::Unsigned(summoner.account_id)},
                               {"msgId", OwnedValue::Text(std::to_string(next_message_++))},
                               {"type", OwnedValue::Text(type)},
                               {"params", OwnedValue::Array(texts)},
                           }));
}

Quarn::Maybe<void> kiv::host::StandIns::SetChampionMastery(const WorldChampionMastery& mastery, bool notify) {
  WorldSummoner* player = world_.Current();
  if (player == nullptr) return NobodyLoggedIn();
  auto& list = player->champion_masteries;
  auto it = std::find_if(list.begin(), list.end(),
                         [&](const WorldChampionMastery& m) { return m.champion_id == mastery.champion_id; });
  if (it == list.end()) {
    list.push_back(mastery);
  } else {
    *it = mastery;
  }
  if (!notify) return {};
  // The dialog's parameter is a JSON text, as the backend writes it.
  const uint64_t game_id = 4000000000ull + next_message_;
  const OwnedValue params = OwnedValue::Object({
      {"gameId", OwnedValue::Unsigned(game_id)},
      {"playerId", OwnedValue::Unsigned(player->summoner_id)},
      {"championId", OwnedValue::Signed(mastery.champion_id)},
      {"championLevel", OwnedValue::Signed(mastery.champion_level)},
      {"championPoints", OwnedValue::Signed(mastery.champion_points)},
  });
  PushDialog(*player, "championMastery", {params.ToJson()});
  return {};
}

Quarn::Maybe<void> kiv::host::StandIns::SetChestEligibility(const WorldChestEligibility& chests,
                                                            bool notify) {
  WorldSummoner* player = world_.Current();
  if (player == nullptr) return NobodyLoggedIn();
  player->chest_eligibility = chests;
  if (notify) PushDialog(*player, "championMasteryLootGrant", {});
  return {};
}

void kiv::host::StandIns::SetBackdropAssets(int32_t icon_id, bool webm, bool jpg) {
  auto set = [icon_id](std::vector<int32_t>& ids, bool present) {
    std::erase(ids, icon_id);
    if (present) ids.push_back(icon_id);
  };
  set(world_.game_data.summoner_backdrops.webm, webm);
  set(world_.game_data.summoner_backdrops.jpg, jpg);
}

void kiv::host::StandIns::ReplaceWorld(World world) { world_ = std::move(world); }
