// Session: follows the login plug-in's session and login data, and runs the
// session's transitions over the table of collections: login, logout, the
// login data packet, and the cache check after a reconnect.
#pragma once

#include "collections/api_types.h"
#include "collections/service_context.h"
#include "runtime/app_module.h"

namespace Quarn::Client::Collections {

class Session {
 public:
  explicit Session(ServiceContext& context) : context_(context) {}

  // Observes "/kiv-login/v1/session" and "/kiv-login/v1/login-data-packet".
  // [re-entrant: an exact URI's current value is fetched and delivered at once]
  void Subscribe();

  // Login, reconnect and logout. [re-entrant]
  void OnSessionEvent(const ResourceEvent<Api::LoginSession>& event);
  // Both books enter their caches and are published. [re-entrant]
  void OnLoginData(const ResourceEvent<Api::CollectionLoginDataPacket>& event);

 private:
  // Each collection reloads what it lacks; publishes what it loads, logs
  // failures. [re-entrant]
  void CheckCachesAfterReconnect();

  ServiceContext& context_;
};

}  // namespace Quarn::Client::Collections
