// Quarn::Client::Collections::CollectionsService: the Collections plug-in
// object, a backend plug-in named "kiv-collections". It owns the service's
// state (session, caches, mastery-tree tables and the second half's state);
// the collections themselves are free functions in their own units that
// take the service:
//   collections/session.h          session tracking, login data, cache updates
//   collections/rune_book.h        routes 1-6
//   collections/mastery_book.h     routes 8-11
//   collections/inventory_routes.h routes 7, 12-14
//   collections/service_parts.h    hooks into routes 15-20 and notifications
#pragma once

#include <string_view>

#include "collections/second_half_state.h"
#include "collections/session_state.h"
#include "diagnostics/logger.h"
#include "runtime/plugin_base.h"
#include "runtime/resource_events.h"

namespace Quarn::Client::Collections {

class CollectionsService : public PluginBase {
 public:
  static constexpr std::string_view kShortName = "kiv-collections";

  CollectionsService();
  ~CollectionsService() override;

  // Registers the DTOs, the API types and the 20 routes in table order.
  void RegisterApi() override;
  // Makes the subscriptions 1-9 in order, then loads the mastery-tree
  // tables. Returns true. [re-entrant]
  bool Init() override;

  CollectionsState& state() { return state_; }
  const CollectionsState& state() const { return state_; }
  SecondHalfState& second_half() { return second_half_; }
  const SecondHalfState& second_half() const { return second_half_; }

  // Sends a resource event of `type` for `uri` with `value`. A value that
  // cannot be converted is dropped without an event. [re-entrant]
  template <class T>
  void Publish(std::string_view uri, const T& value,
               PluginResourceEventType type = PluginResourceEventType::Update);

 private:
  CollectionsState state_;
  SecondHalfState second_half_;
};

template <class T>
void CollectionsService::Publish(std::string_view uri, const T& value, PluginResourceEventType type) {
  BindingResult converted;
  ToBindingValue(converted, value, registry());
  if (!converted.ok()) return;
  const Resource resource{std::string(uri), type, std::move(converted.value)};
  // A failed emit has nowhere to go: the event is simply not seen.
  (void)PublishEvent(kJsonApiEventName, resource, 0);
}

}  // namespace Quarn::Client::Collections
