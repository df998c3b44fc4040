#include "host/sim_controls.h"

#include <algorithm>
#include <map>

#include "host/detail/world_io.h"
#include "host/world.h"

namespace {

using kiv::host::OwnedValue;
using kiv::host::Request;
using kiv::host::Response;
using kiv::host::detail::FindMember;

constexpr std::string_view kLevelNames[] = {"OKAY", "WARN", "ERROR", "ALWAYS"};

struct LoginBody {
  uint64_t summoner_id = 0;
  std::string state = "SUCCEEDED";
};
template <class Io>
void Describe(Io& io, LoginBody& r) {
  io("summonerId", r.summoner_id);
  io("state", r.state);
}
struct PushBody {
  std::string class_name;
  OwnedValue body;
};
template <class Io>
void Describe(Io& io, PushBody& r) {
  io("className", r.class_name);
  io("body", r.body);
}
struct ConfigBody {
  std::string name_space;
  std::string key;
  OwnedValue value;
};
template <class Io>
void Describe(Io& io, ConfigBody& r) {
  io("namespace", r.name_space);
  io("key", r.key);
  io("value", r.value);
}
struct IconBody {
  int32_t icon_id = 0;
};
template <class Io>
void Describe(Io& io, IconBody& r) {
  io("iconId", r.icon_id);
}
struct RecentGamesBody {
  std::vector<kiv::host::WorldGame> games;
  kiv::host::WorldGame add;
};
template <class Io>
void Describe(Io& io, RecentGamesBody& r) {
  io("games", r.games);
  io("add", r.add);
}
struct GrantBody {
  kiv::host::Grant grant;
};
template <class Io>
void Describe(Io& io, GrantBody& r) {
  io("inventoryType", r.grant.inventory_type);
  io("itemId", r.grant.item_id);
  io("quantity", r.grant.quantity);
  io("rental", r.grant.rental);
  io("notify", r.grant.notify);
}
struct MasteryBody {
  kiv::host::WorldChampionMastery mastery;
  bool notify = true;
};
template <class Io>
void Describe(Io& io, MasteryBody& r) {
  kiv::host::detail::Describe(io, r.mastery);
  io("notify", r.notify);
}
struct ChestBody {
  kiv::host::WorldChestEligibility chests;
  bool notify = true;
};
template <class Io>
void Describe(Io& io, ChestBody& r) {
  kiv::host::detail::Describe(io, r.chests);
  io("notify", r.notify);
}
struct BackdropBody {
  int32_t icon_id = 0;
  bool webm = false;
  bool jpg = false;
};
template <class Io>
void Describe(Io& io, BackdropBody& r) {
  io("iconId", r.icon_id);
  io("webm", r.webm);
  io("jpg", r.jpg);
}
struct FaultBody {
  std::string target;
  std::string method;
  uint32_t status = 500;
  std::string message;
  int32_t times = -1;
};
template <class Io>
void Describe(Io& io, FaultBody& r) {
  io("target", r.target);
  io("method", r.method);
  io("status", r.status);
  io("message", r.message);
  io("times", r.times);
}
struct LatencyBody {
  uint32_t service_proxy_ms = 0;
};
template <class Io>
void Describe(Io& io, LatencyBody& r) {
  io("serviceProxyMs", r.service_proxy_ms);
}

Response NoContent() { return Response::Ok(OwnedValue(), 204); }

Response From(const Quarn::Maybe<void>& outcome) {
  if (outcome.HasFailure()) {
    const uint32_t code = outcome.failure().code();
    return Response::Error(outcome.failure().message(), code != 0 ? code : 400);
  }
  return NoContent();
}

// The body as a JSON value; an empty body is an empty object.
Quarn::Maybe<OwnedValue> BodyValue(const Request& request) {
  if (request.body.find_first_not_of(" \t\r\n") == std::string::npos) return OwnedValue::Object({});
  auto parsed = OwnedValue::FromJson(request.body);
  if (parsed.HasFailure()) return Quarn::Failure("The body is not JSON: " + parsed.failure().message(), 400);
  if (parsed->tag() != KIV_VALUE_OBJECT) return Quarn::Failure("The body must be a JSON object", 400);
  return parsed;
}

// Reads `value` into `out` (which may hold defaults); fails with the first
// problem or a missing required key.
template <class T>
Quarn::Maybe<void> ReadInto(const OwnedValue& value, T& out,
                            std::initializer_list<std::string_view> required) {
  for (const auto key : required) {
    const HostValue* member = FindMember(value.get(), key);
    if (member == nullptr || member->tag == KIV_VALUE_NULL)
      return Quarn::Failure("The body needs \"" + std::string(key) + "\"", 400);
  }
  kiv::host::detail::ValueReader reader;
  reader.Read(value.get(), "body", out);
  if (!reader.ok()) return Quarn::Failure(reader.problems().front(), 400);
  return {};
}

template <class T>
Quarn::Maybe<T> ReadBody(const Request& request, std::initializer_list<std::string_view> required = {}) {
  auto value = BodyValue(request);
  if (value.HasFailure()) return value.TakeFailure();
  T out{};
  auto read = ReadInto(*value, out, required);
  if (read.HasFailure()) return read.TakeFailure();
  return out;
}

Response Fail(const Quarn::Failure& failure) {
  return Response::Error(failure.message(), failure.code() != 0 ? failure.code() : 400);
}

// The backend call a recorded request carried, if any: "service.method".
std::string BackendCallOf(const Request& request, std::string& via) {
  const auto text = [&](size_t i) -> std::string {
    if (i >= request.arguments.size()) return {};
    const HostValue& v = request.arguments[i].second.get();
    return (v.tag == KIV_VALUE_TEXT || v.tag == KIV_VALUE_TEXT_OWNED) && v.data.text != nullptr ? v.data.text
                                                                                                : "";
  };
  const std::string_view path = kiv::host::PathWithoutQuery(request.path);
  if (path == "/kiv-login/v1/session/invoke") {
    via = "invoke";
  } else if (path == "/kiv-login/v1/service-proxy-uuid-requests" ||
             path == "/kiv-login/v1/service-proxy-method-requests") {
    via = "service-proxy";
  } else {
    return {};
  }
  const std::string service = text(0);
  const std::string method = text(1);
  if (service.empty() || method.empty()) return {};
  return service + "." + method;
}

}  // namespace

kiv::host::SimControls::SimControls(HostLoop& loop, StandIns& stand_ins, const PluginLibrary* plugin)
    : loop_(loop), stand_ins_(stand_ins), plugin_(plugin) {
  Install();
}

kiv::host::SimControls::~SimControls() {
  for (const int id : handlers_) loop_.RemoveHandler(id);
  for (const auto& f : path_faults_) loop_.RemoveFault(f.id);
}

void kiv::host::SimControls::Handle(uint32_t method, std::string path, std::string body_help,
                                    std::string help, RequestHandler handler) {
  controls_.push_back({std::string(MethodName(method)), path, std::move(body_help), std::move(help)});
  handlers_.push_back(loop_.HandleRequest(method, path, std::move(handler)));
}

void kiv::host::SimControls::Install() {
  StandIns& s = stand_ins_;
  Handle(KIV_METHOD_GET, "/sim", "", "this list", [this](const Request&) {
    std::vector<OwnedValue> list;
    for (const auto& c : controls_) {
      std::vector<std::pair<std::string, OwnedValue>> members{{"method", OwnedValue::Text(c.method)},
                                                              {"path", OwnedValue::Text(c.path)}};
      if (!c.body.empty()) members.emplace_back("body", OwnedValue::Text(c.body));
      members.emplace_back("does", OwnedValue::Text(c.help));
      list.push_back(OwnedValue::Object(members));
    }
    return Response::Ok(OwnedValue::Object({{"controls", OwnedValue::Array(list)}}));
  });
  Handle(KIV_METHOD_GET, "/sim/status", "", "session, open waits, queued work, faults and latency",
         [this](const Request&) { return Status(); });
  Handle(KIV_METHOD_POST, "/sim/login", "{summonerId?, state?}",
         "log in (publishes the session and the player's resources)", [&s](const Request& r) {
           auto body = ReadBody<LoginBody>(r);
           if (body.HasFailure()) return Fail(body.failure());
           return From(s.LogIn(body->summoner_id, body->state));
         });
  Handle(KIV_METHOD_POST, "/sim/logout", "", "log out (deletes the session resource)",
         [&s](const Request&) { return From(s.LogOut()); });
  Handle(KIV_METHOD_POST, "/sim/disconnect", "", "the session's connected turns false",
         [&s](const Request&) { return From(s.SetConnected(false)); });
  Handle(KIV_METHOD_POST, "/sim/reconnect", "", "the session's connected turns true",
         [&s](const Request&) { return From(s.SetConnected(true)); });
  Handle(KIV_METHOD_POST, "/sim/push", "{className, body}",
         "deliver a backend push message as OnTrovEvent_<class>", [&s](const Request& r) {
           auto body = ReadBody<PushBody>(r, {"className"});
           if (body.HasFailure()) return Fail(body.failure());
           s.Push(body->class_name, std::move(body->body));
           return NoContent();
         });
  Handle(KIV_METHOD_POST, "/sim/platform-config", "{namespace, key, value}",
         "set and publish a platform setting", [&s](const Request& r) {
           auto body = ReadBody<ConfigBody>(r, {"namespace", "key", "value"});
           if (body.HasFailure()) return Fail(body.failure());
           s.SetPlatformConfig(body->name_space, body->key, std::move(body->value));
           return NoContent();
         });
  Handle(KIV_METHOD_POST, "/sim/profile-icon", "{iconId}",
         "change the player's profile icon (publishes the current summoner)", [&s](const Request& r) {
           auto body = ReadBody<IconBody>(r, {"iconId"});
           if (body.HasFailure()) return Fail(body.failure());
           return From(s.SetProfileIcon(body->icon_id));
         });
  Handle(KIV_METHOD_POST, "/sim/recent-games", "{games: [{championId, queue}]} or {add: {championId, queue}}",
         "replace the player's recent games, or add one game in front (publishes them)",
         [&s](const Request& r) {
           auto value = BodyValue(r);
           if (value.HasFailure()) return Fail(value.failure());
           const bool add = FindMember(value->get(), "add") != nullptr;
           if (!add && FindMember(value->get(), "games") == nullptr)
             return Response::Error("The body needs \"games\" or \"add\"", 400);
           RecentGamesBody body;
           auto read = ReadInto(*value, body, {});
           if (read.HasFailure()) return Fail(read.failure());
           if (!add) return From(s.SetRecentGames(std::move(body.games)));
           const WorldSummoner* player = s.world().Current();
           if (player == nullptr) return Response::Error("Nobody is logged in; log in first", 409);
           std::vector<WorldGame> games = player->recent_games;
           games.insert(games.begin(), body.add);
           return From(s.SetRecentGames(std::move(games)));
         });
  Handle(KIV_METHOD_POST, "/sim/grant", "{inventoryType, itemId, quantity?, rental?, notify?}",
         "give the player an item and push the store's notification", [&s](const Request& r) {
           auto body = ReadBody<GrantBody>(r, {"inventoryType"});
           if (body.HasFailure()) return Fail(body.failure());
           return From(s.GrantItem(body->grant));
         });
  Handle(
      KIV_METHOD_POST, "/sim/champion-mastery", "{championId, championLevel?, championPoints?, ..., notify?}",
      "set the player's mastery of a champion and push the championMastery message", [&s](const Request& r) {
        auto value = BodyValue(r);
        if (value.HasFailure()) return Fail(value.failure());
        const WorldSummoner* player = s.world().Current();
        if (player == nullptr) return Response::Error("Nobody is logged in; log in first", 409);
        // Fields left out keep the values the player has now.
        MasteryBody body;
        auto first = ReadInto(*value, body, {"championId"});
        if (first.HasFailure()) return Fail(first.failure());
        for (const auto& m : player->champion_masteries) {
          if (m.champion_id == body.mastery.champion_id) body.mastery = m;
        }
        auto read = ReadInto(*value, body, {});
        if (read.HasFailure()) return Fail(read.failure());
        return From(s.SetChampionMastery(body.mastery, body.notify));
      });
  Handle(KIV_METHOD_POST, "/sim/chest-eligibility",
         "{earnableChests?, maximumChests?, nextChestRechargeTime?, notify?}",
         "set the player's chests and push the championMasteryLootGrant message", [&s](const Request& r) {
           auto value = BodyValue(r);
           if (value.HasFailure()) return Fail(value.failure());
           const WorldSummoner* player = s.world().Current();
           if (player == nullptr) return Response::Error("Nobody is logged in; log in first", 409);
           ChestBody body;
           body.chests = player->chest_eligibility;
           auto read = ReadInto(*value, body, {});
           if (read.HasFailure()) return Fail(read.failure());
           return From(s.SetChestEligibility(body.chests, body.notify));
         });
  Handle(KIV_METHOD_POST, "/sim/backdrop-assets", "{iconId, webm, jpg}",
         "say which backdrop assets exist for an icon", [&s](const Request& r) {
           auto body = ReadBody<BackdropBody>(r, {"iconId"});
           if (body.HasFailure()) return Fail(body.failure());
           s.SetBackdropAssets(body->icon_id, body->webm, body->jpg);
           return NoContent();
         });
  Handle(KIV_METHOD_GET, "/sim/world", "", "the whole world, in the world-file layout",
         [&s](const Request&) { return Response::Ok(WorldToValue(s.world())); });
  Handle(KIV_METHOD_PUT, "/sim/world", "a world file (JSON)", "replace the world (publishes nothing)",
         [&s](const Request& r) {
           auto world = ParseWorld(r.body, "world");
           if (world.HasFailure()) return Response::Error(world.failure().message(), 400);
           s.ReplaceWorld(world.TakeValue());
           return NoContent();
         });
  Handle(KIV_METHOD_GET, "/sim/faults", "", "the faults in force",
         [this](const Request&) { return Faults(); });
  Handle(KIV_METHOD_POST, "/sim/faults", "{target, method?, status?, message?, times?}",
         "make a backend method (\"service.method\" or \"service\") or a stand-in path "
         "(\"/path/{template}\") fail; "
         "times -1 (the default) is every time",
         [this](const Request& r) {
           auto body = ReadBody<FaultBody>(r, {"target"});
           if (body.HasFailure()) return Fail(body.failure());
           if (body->status < 100 || body->status > 599)
             return Response::Error("A fault's status must be an HTTP status (100 to 599)", 400);
           std::string message = body->message;
           if (body->target.starts_with("/")) {
             const uint32_t method = body->method.empty() ? 0 : MethodCode(body->method);
             if (!body->method.empty() && method == 0)
               return Response::Error("Unknown method \"" + body->method + "\"", 400);
             if (message.empty()) message = "injected failure";
             Fault fault;
             fault.method = method;
             fault.path_template = body->target;
             fault.times = body->times;
             fault.error = message;
             fault.status = body->status;
             const int id = loop_.InjectFault(fault);
             path_faults_.push_back({id, body->target, body->method, body->status, message, body->times});
           } else {
             BackendFault fault;
             fault.target = body->target;
             fault.status = body->status;
             if (!message.empty()) fault.message = message;
             fault.times = body->times;
             stand_ins_.backend().AddFault(std::move(fault));
           }
           return NoContent();
         });
  Handle(KIV_METHOD_DELETE, "/sim/faults", "", "clear every fault", [this](const Request&) {
    for (const auto& f : path_faults_) loop_.RemoveFault(f.id);
    path_faults_.clear();
    stand_ins_.backend().ClearFaults();
    return NoContent();
  });
  Handle(KIV_METHOD_POST, "/sim/latency", "{serviceProxyMs}", "service-proxy answers arrive this much later",
         [&s](const Request& r) {
           auto body = ReadBody<LatencyBody>(r, {"serviceProxyMs"});
           if (body.HasFailure()) return Fail(body.failure());
           s.SetServiceProxyLatency(body->service_proxy_ms / 1000.0);
           return NoContent();
         });
  Handle(KIV_METHOD_GET, "/sim/calls", "",
         "the plug-in's outbound requests and backend calls in order, with counts; "
         "?all lists every host call",
         [this](const Request& r) { return Calls(r); });
  Handle(KIV_METHOD_DELETE, "/sim/calls", "", "forget the calls recorded so far", [this](const Request&) {
    loop_.ClearCalls();
    return NoContent();
  });
  Handle(KIV_METHOD_GET, "/sim/log", "", "the plug-in's log lines", [this](const Request&) {
    std::vector<OwnedValue> lines;
    for (const LogLine& line : loop_.LogLines()) {
      const std::string_view level = line.level < std::size(kLevelNames) ? kLevelNames[line.level] : "?";
      lines.push_back(OwnedValue::Object({{"level", OwnedValue::Unsigned(line.level)},
                                          {"levelName", OwnedValue::Text(level)},
                                          {"text", OwnedValue::Text(line.text)}}));
    }
    return Response::Ok(OwnedValue::Object({{"lines", OwnedValue::Array(lines)}}));
  });
  Handle(KIV_METHOD_GET, "/sim/memory", "", "the plug-in's memory-statistics record", [this](const Request&) {
    const PluginMemoryStats stats = plugin_ != nullptr ? plugin_->MemoryStats() : PluginMemoryStats{};
    return Response::Ok(OwnedValue::Object({
        {"peakBytesInUse", OwnedValue::Unsigned(stats.counters[0])},
        {"liveAllocationsAtPeak", OwnedValue::Unsigned(stats.counters[1])},
        {"bytesAllocated", OwnedValue::Unsigned(stats.counters[2])},
        {"allocations", OwnedValue::Unsigned(stats.counters[3])},
        {"bytesFreed", OwnedValue::Unsigned(stats.counters[4])},
        {"frees", OwnedValue::Unsigned(stats.counters[5])},
    }));
  });
}

kiv::host::Response kiv::host::SimControls::Status() const {
  const World& world = stand_ins_.world();
  std::vector<OwnedValue> waits;
  for (const auto& label : loop_.WaitLabels()) waits.push_back(OwnedValue::Text(label));
  return Response::Ok(OwnedValue::Object({
      {"plugin", OwnedValue::Text(plugin_ != nullptr ? plugin_->short_name() : "")},
      {"loggedIn", OwnedValue::Bool(world.login.logged_in)},
      {"summonerId", OwnedValue::Unsigned(world.login.logged_in ? world.login.summoner_id : 0)},
      {"state", OwnedValue::Text(world.login.logged_in ? world.login.state : "")},
      {"connected", OwnedValue::Bool(world.login.logged_in && world.login.connected)},
      {"waitingFor", OwnedValue::Array(waits)},
      {"queuedWork", OwnedValue::Unsigned(loop_.pending())},
      {"serviceProxyLatencyMs", OwnedValue::Double(stand_ins_.service_proxy_latency() * 1000)},
      {"faults", OwnedValue::Unsigned(path_faults_.size() + stand_ins_.backend().faults().size())},
  }));
}

kiv::host::Response kiv::host::SimControls::Faults() const {
  std::vector<OwnedValue> list;
  for (const auto& f : path_faults_) {
    list.push_back(OwnedValue::Object({{"target", OwnedValue::Text(f.target)},
                                       {"method", OwnedValue::Text(f.method.empty() ? "*" : f.method)},
                                       {"status", OwnedValue::Unsigned(f.status)},
                                       {"message", OwnedValue::Text(f.message)},
                                       {"times", OwnedValue::Signed(f.times)}}));
  }
  for (const auto& f : stand_ins_.backend().faults()) {
    list.push_back(OwnedValue::Object({{"target", OwnedValue::Text(f.target)},
                                       {"status", OwnedValue::Unsigned(f.status)},
                                       {"message", OwnedValue::Text(f.message)},
                                       {"times", OwnedValue::Signed(f.times)},
                                       {"fired", OwnedValue::Signed(f.fired)}}));
  }
  return Response::Ok(OwnedValue::Object({{"faults", OwnedValue::Array(list)}}));
}

kiv::host::Response kiv::host::SimControls::Calls(const Request& request) const {
  const std::vector<RecordedCall> calls = loop_.Calls();
  if (request.Query("all")) {
    std::vector<OwnedValue> all;
    for (const auto& c : calls) all.push_back(OwnedValue::Text(c.Summary()));
    return Response::Ok(OwnedValue::Object({{"calls", OwnedValue::Array(all)}}));
  }
  std::vector<OwnedValue> list;
  std::map<std::string, uint64_t> counts;
  for (const auto& c : calls) {
    if (c.kind != CallKind::kSendRequest) continue;
    const std::string summary = c.request.Summary();
    std::vector<std::pair<std::string, OwnedValue>> members{{"request", OwnedValue::Text(summary)}};
    ++counts[summary];
    std::string via;
    const std::string backend = BackendCallOf(c.request, via);
    if (!backend.empty()) {
      members.emplace_back("backend", OwnedValue::Text(backend));
      members.emplace_back("via", OwnedValue::Text(via));
      ++counts[backend];
    }
    if (c.faulted) members.emplace_back("faulted", OwnedValue::Bool(true));
    list.push_back(OwnedValue::Object(members));
  }
  std::vector<std::pair<std::string, OwnedValue>> count_members;
  for (const auto& [key, n] : counts) count_members.emplace_back(key, OwnedValue::Unsigned(n));
  return Response::Ok(OwnedValue::Object(
      {{"calls", OwnedValue::Array(list)}, {"counts", OwnedValue::Object(count_members)}}));
}
