// ServiceContext: what every collection reaches, and nothing more: the
// session, the owner of the summoner caches, publication, and the plug-in
// module through which backend calls, requests, observation and waits go.
// Collections never reach each other; the table of collections
// (collection.h) is run through here.
//
// Everything runs on the host's thread. Operations that call the backend
// step the host: [re-entrant: other callbacks may run before they return].
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "binding/maybe_type.h"
#include "binding/native_conversion.h"
#include "collections/collection.h"
#include "runtime/plugin_base.h"
#include "runtime/resource_events.h"
#include "runtime/trov_calls.h"

namespace Quarn::Client::Collections {

// The refusal of summoner 0 that several routes share.
inline constexpr std::string_view kZeroSummonerText = "0 is an invalid summonerId.";

struct SessionState {
  bool logged_in = false;         // the last session event had a logged-in summoner
  bool connected = false;         // `connected` of the last session event
  uint64_t current_summoner = 0;  // the logged-in summoner; 0 when nobody is logged in
  uint64_t account_id = 0;        // the logged-in summoner's account; 0 when nobody is logged in
  uint64_t caches_summoner = 0;   // whose data the summoner caches hold (0: nobody's yet)
};

class ServiceContext {
 public:
  explicit ServiceContext(PluginBase& module) : module_(module) {}
  ServiceContext(const ServiceContext&) = delete;
  ServiceContext& operator=(const ServiceContext&) = delete;

  // Backend calls, requests, observation and awaiting go through the module.
  PluginBase& module() { return module_; }
  const BindingRegistry& registry() const { return module_.registry(); }
  BindingApi& api() { return module_.api(); }

  SessionState& session() { return session_; }
  const SessionState& session() const { return session_; }
  uint64_t current_summoner() const { return session_.current_summoner; }

  // The collections in route order; set once, before any hook runs.
  void SetCollections(std::vector<Collection*> table) { table_ = std::move(table); }
  const std::vector<Collection*>& collections() const { return table_; }

  // Whether the summoner caches answer for and may be changed by `summoner`:
  // someone is logged in, it is `summoner`, and the caches hold their data.
  bool CachesServe(uint64_t summoner) const {
    return summoner != 0 && summoner == session_.current_summoner && summoner == session_.caches_summoner;
  }
  // Hands the summoner caches to `summoner`: when they hold anyone else's
  // data, every collection forgets its summoner's data first.
  void TieCachesTo(uint64_t summoner) {
    if (session_.caches_summoner == summoner) return;
    for (Collection* collection : table_) collection->ForgetSummoner();
    session_.caches_summoner = summoner;
  }

  // Sends a resource event of `type` for `uri` with `value`. A value that
  // cannot be converted is dropped without an event. [re-entrant]
  template <class T>
  void Publish(std::string_view uri, const T& value,
               PluginResourceEventType type = PluginResourceEventType::Update) {
    BindingResult converted;
    ToBindingValue(converted, value, registry());
    if (!converted.ok()) return;
    const Resource resource{std::string(uri), type, std::move(converted.value)};
    // A failed emit has nowhere to go: the event is simply not seen.
    (void)module_.PublishEvent(kJsonApiEventName, resource, 0);
  }

  // `destination`.`method` on the backend, awaited. [re-entrant]
  template <class T = void, class... A>
  Maybe<T> Call(std::string_view destination, std::string_view method, const A&... arguments) {
    return module_.Await(module_.Invoke<T>(destination, method, arguments...));
  }

  // `data` read as a T; `error` gets the conversion's message on failure.
  template <class T>
  T Convert(const BindingProperty& data, std::string& error) const {
    T value{};
    BindingResult converted;
    FromBindingValue(converted, data, "<value>", value, registry());
    if (!converted.ok()) error = converted.ErrorMessage();
    return value;
  }

 private:
  PluginBase& module_;
  SessionState session_;
  std::vector<Collection*> table_;
};

}  // namespace Quarn::Client::Collections
