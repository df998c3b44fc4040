// Collection: the hooks through which the service drives each collection
// (rune book, mastery book, rune quantities, summoner icons and spells,
// champion mastery, ward skins, backdrop). The service keeps them in one
// table, in route order, and runs every hook as a loop over it.
//
// Hooks run on the host's thread; those that read the backend step the
// host: [re-entrant: other callbacks may run before they return].
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "binding/binding_property.h"
#include "collections/api_types.h"

namespace Quarn::Client::Collections {

class Collection {
 public:
  virtual ~Collection() = default;

  // Registers the collection's routes, in route-table order.
  virtual void RegisterRoutes() {}
  // Observes the resources the collection follows.
  virtual void Subscribe() {}
  // Runs once, after every subscription of the service is made.
  virtual void Start() {}

  // Lower ranks run their login hook first.
  virtual int LoginRank() const { return 1; }
  // A summoner logged in; the session names them.
  virtual void OnLogin() {}
  // The session ended; nobody is logged in.
  virtual void OnLogout() {}
  // The login data packet arrived, with a rune book that has pages.
  virtual void OnLoginData(const Api::SummonerData& /*data*/) {}
  // The backend connection came back: reload what the cache lacks.
  virtual void AfterReconnect() {}
  // The summoner caches go to another summoner: drop one summoner's data.
  virtual void ForgetSummoner() {}

  // The store fulfilled, or a rental changed, an item of `inventory_type`
  // (exact text); `data` is as the backend sent it.
  virtual void OnInventoryChange(std::string_view /*inventory_type*/, const BindingProperty& /*data*/) {}
  // A backend dialog message.
  virtual void OnDialogMessage(const std::string& /*type*/, const std::vector<std::string>& /*params*/) {}
};

}  // namespace Quarn::Client::Collections
