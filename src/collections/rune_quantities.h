// RuneQuantities: the runes the summoner owns (GET .../runes), from the
// backend's "summonerRuneService", cached for the logged-in summoner once
// loaded and republished when a purchase or rental changes them.
#pragma once

#include <cstdint>
#include <string_view>

#include "binding/maybe_type.h"
#include "collections/api_types.h"
#include "collections/collection.h"
#include "collections/service_context.h"

namespace Quarn::Client::Collections {

class RuneQuantities : public Collection {
 public:
  explicit RuneQuantities(ServiceContext& context) : context_(context) {}

  void RegisterRoutes() override;
  void OnLogin() override { Refresh(); }
  void AfterReconnect() override { Refresh(); }
  void ForgetSummoner() override {
    loaded_ = false;
    cache_ = {};
  }
  // "RUNE": reads and publishes the quantities again.
  void OnInventoryChange(std::string_view inventory_type, const BindingProperty& data) override;

  // GET .../runes: cached for the current summoner once loaded.
  // 403 "0 is an invalid summonerId."; 500 "Error requesting summoner rune
  // inventory for %1: %2". [re-entrant]
  Maybe<Api::CollectionsRuneQuantities> Get(uint64_t summoner);
  // Loads and publishes the current summoner's quantities unless they are
  // loaded; failures are logged. [re-entrant]
  void Refresh();

 private:
  ServiceContext& context_;
  bool loaded_ = false;  // cleared when a purchase makes the cache stale
  Api::CollectionsRuneQuantities cache_;
};

}  // namespace Quarn::Client::Collections
