#include "collections/collections_service.h"

#include "collections/inventory_routes.h"
#include "collections/mastery_book.h"
#include "collections/rune_book.h"
#include "collections/service_parts.h"
#include "collections/session.h"
#include "collections/type_registration.h"

Quarn::Client::Collections::CollectionsService::CollectionsService() : PluginBase(kBackendKind) {}

Quarn::Client::Collections::CollectionsService::~CollectionsService() = default;

void Quarn::Client::Collections::CollectionsService::RegisterApi() {
  BindingRegistry& registry = api().registry();
  // The DTOs first: the login-data type embeds two of them.
  RegisterTrovDtos(registry, trov_classes(), registration_tags());
  RegisterApiTypes(registry, api_name(), registration_tags());

  // Routes in table order; the order is what the API description lists.
  RegisterRuneBookRoutes(*this);         // 1-6
  RegisterRuneQuantityRoute(*this);      // 7
  RegisterMasteryBookRoutes(*this);      // 8-11
  RegisterSpellAndIconRoutes(*this);     // 12-14
  RegisterChampionMasteryRoutes(*this);  // 15-17
  RegisterWardSkinRoutes(*this);         // 18-19
  RegisterBackdropRoutes(*this);         // 20
}

bool Quarn::Client::Collections::CollectionsService::Init() {
  SubscribeSession(*this);                  // 1-2
  SubscribeChampionMasterySettings(*this);  // 3-4
  SubscribeBackdropSources(*this);          // 5-6
  SubscribeNotifications(*this);            // 7-9
  LoadMasteryTrees(*this);
  return true;
}
