// Backend notifications: the push messages that tell the service a
// summoner's inventory or mastery changed outside its own requests (a
// store purchase was fulfilled, a rental changed, a champion gained
// mastery, a mastery chest was granted). Each one refreshes what it
// affects and publishes the result.
//
// The handlers run on a later host turn than the message's delivery, act
// on the caches of the other collections and may await backend answers:
// [re-entrant: other callbacks may run before they return]. The service is
// borrowed for the duration of each call.
#pragma once

#include "collections/trov_dtos.h"

namespace Quarn::Client::Collections {

class CollectionsService;

// Subscribes to the dialog, store-fulfilment and rental-update messages,
// in that order.
void SubscribeNotifications(CollectionsService& service);

// By inventory type (exact text): "WARD_SKIN" grants the skin `itemId`;
// "SPELL_BOOK_PAGE" takes the spell book in `data` as the logged-in
// summoner's rune book and publishes it; "RUNE" re-reads and publishes the
// rune quantities; "SUMMONER_ICON" re-reads and publishes the icons, then
// the icon `itemId`. Any other type is ignored.
void OnStoreFulfillment(CollectionsService& service, const TROV::StoreFulfillmentNotification& notification);
// The same as a store fulfilment with that inventory type and data.
void OnRentalUpdate(CollectionsService& service, const TROV::RentalUpdateNotification& notification);
// "championMastery": for the logged-in player, re-reads that champion's
// mastery (or the whole list when none is cached) and publishes the list.
// "championMasteryLootGrant": reads and publishes the chest eligibility.
// Any other type is ignored.
void OnDialogMessage(CollectionsService& service, const TROV::SimpleMessage& message);

}  // namespace Quarn::Client::Collections
