#include "collections/notifications.h"

#include "runtime/trov_calls.h"

namespace TROV = Quarn::Client::Collections::TROV;
using Quarn::Client::Collections::Notifications;

void Notifications::Subscribe() {
  PluginBase& module = context_.module();
  module.ObserveTrovEvent<TROV::SimpleMessage>(
      TROV::SimpleMessage::kClassName, [this](const TROV::SimpleMessage& message) { OnDialogMessage(message); });
  module.ObserveTrovEvent<TROV::StoreFulfillmentNotification>(
      TROV::StoreFulfillmentNotification::kClassName,
      [this](const TROV::StoreFulfillmentNotification& notification) { OnStoreFulfillment(notification); });
  module.ObserveTrovEvent<TROV::RentalUpdateNotification>(
      TROV::RentalUpdateNotification::kClassName, [this](const TROV::RentalUpdateNotification& notification) {
        OnStoreFulfillment({notification.inventory_type, notification.data});
      });
}

void Notifications::OnStoreFulfillment(const TROV::StoreFulfillmentNotification& notification) {
  for (Collection* collection : context_.collections()) {
    collection->OnInventoryChange(notification.inventory_type, notification.data);
  }
}

void Notifications::OnDialogMessage(const TROV::SimpleMessage& message) {
  for (Collection* collection : context_.collections()) collection->OnDialogMessage(message.type, message.params);
}
