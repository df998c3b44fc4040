// Host-side event names: of a resource URI ("OnJsonApiEvent" and the URI's
// first path segments, joined with "_") and of a backend push-message class.
#pragma once

#include <string>
#include <string_view>

namespace Quarn {

// Base name of every JSON API event.
inline constexpr std::string_view kJsonApiEventName = "OnJsonApiEvent";

// Splits `uri` at "/" into its non-empty segments and joins
// "OnJsonApiEvent" with the first three of them (the first five when the
// first segment is "kiv-platform-config"), with "_":
//   "/kiv-login/v1/session"              -> "OnJsonApiEvent_kiv-login_v1_session"
//   "/kiv-collections/v1/inventories/1"  -> "OnJsonApiEvent_kiv-collections_v1_inventories"
std::string EventNameOfUri(std::string_view uri);

// "OnTrovEvent_" followed by `class_name`, every "." of the whole name
// replaced by "_":
//   "com.quarngames.platform.messaging.StoreFulfillmentNotification"
//     -> "OnTrovEvent_com_quarngames_platform_messaging_StoreFulfillmentNotification"
std::string TrovEventName(std::string_view class_name);

}  // namespace Quarn
