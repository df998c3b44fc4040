// SimControls: the developer host's simulation controls under /sim/,
// installed as request handlers of a HostLoop (so HTTP reaches them the way
// it reaches the stand-ins). Bodies are JSON objects; unknown keys are
// refused. Actions answer 204; failures come in the host's error shape.
//
//   GET    /sim                      what is here
//   GET    /sim/status               session, open waits, queued work, faults, latency
//   POST   /sim/login                {summonerId?, state?}
//   POST   /sim/logout
//   POST   /sim/disconnect           the session's connected turns false
//   POST   /sim/reconnect            ... and true again
//   POST   /sim/push                 {className, body}: a backend push message
//   POST   /sim/platform-config      {namespace, key, value}
//   POST   /sim/profile-icon         {iconId}
//   POST   /sim/recent-games         {games: [{championId, queue}]} or {add: {championId, queue}}
//   POST   /sim/grant                {inventoryType, itemId, quantity?, rental?, notify?}
//   POST   /sim/champion-mastery     {championId, championLevel, championPoints, ..., notify?}
//   POST   /sim/chest-eligibility    {earnableChests, maximumChests, nextChestRechargeTime, notify?}
//   POST   /sim/backdrop-assets      {iconId, webm, jpg}
//   GET    /sim/world, PUT /sim/world   the whole world (PUT publishes nothing)
//   GET    /sim/faults, POST /sim/faults {target, method?, status?, message?, times?}, DELETE /sim/faults
//            target "service.method" or "service": a backend method; "/path/{template}": a stand-in path
//   POST   /sim/latency              {serviceProxyMs}
//   GET    /sim/calls[?all], DELETE /sim/calls   outbound requests and backend calls, with counts
//   GET    /sim/log                  the plug-in's log lines
//   GET    /sim/memory               the plug-in's memory-statistics record
#pragma once

#include <string>
#include <vector>

#include "host/host_loop.h"
#include "host/plugin_library.h"
#include "host/standins/stand_ins.h"

namespace kiv::host {

class SimControls {
 public:
  // `loop` and `stand_ins` must outlive this object; `plugin` (may be null)
  // until this object is destroyed or SetPlugin changes it. Runs on the
  // loop's thread.
  SimControls(HostLoop& loop, StandIns& stand_ins, const PluginLibrary* plugin);
  ~SimControls();
  SimControls(const SimControls&) = delete;
  SimControls& operator=(const SimControls&) = delete;

  void SetPlugin(const PluginLibrary* plugin) { plugin_ = plugin; }

 private:
  struct PathFault {
    int id;
    std::string target;
    std::string method;
    uint32_t status;
    std::string message;
    int times;
  };
  void Install();
  void Handle(uint32_t method, std::string path, std::string body_help, std::string help,
              RequestHandler handler);
  Response Status() const;
  Response Calls(const Request& request) const;
  Response Faults() const;

  HostLoop& loop_;
  StandIns& stand_ins_;
  const PluginLibrary* plugin_;
  std::vector<int> handlers_;
  std::vector<PathFault> path_faults_;
  struct Control {
    std::string method;
    std::string path;
    std::string body;
    std::string help;
  };
  std::vector<Control> controls_;  // for GET /sim
};

}  // namespace kiv::host
