// Notifications: the backend's push messages that tell the service a
// summoner's inventory or mastery changed outside its own requests (a store
// purchase was fulfilled, a rental changed, a champion gained mastery, a
// mastery chest was granted). Each is handed to every collection, which
// refreshes and publishes what it affects.
//
// The handlers run on a later host turn than the message's delivery and may
// await backend answers: [re-entrant]
#pragma once

#include "collections/service_context.h"
#include "collections/trov_dtos.h"

namespace Quarn::Client::Collections {

class Notifications {
 public:
  explicit Notifications(ServiceContext& context) : context_(context) {}

  // Subscribes to the dialog, store-fulfilment and rental-update messages,
  // in that order.
  void Subscribe();

  // By inventory type (exact text); a rental update is handled the same way.
  void OnStoreFulfillment(const TROV::StoreFulfillmentNotification& notification);
  void OnDialogMessage(const TROV::SimpleMessage& message);

 private:
  ServiceContext& context_;
};

}  // namespace Quarn::Client::Collections
