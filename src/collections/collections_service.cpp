#include "collections/collections_service.h"

#include "collections/type_registration.h"

Quarn::Client::Collections::CollectionsService::CollectionsService()
    : PluginBase(kBackendKind),
      context_(*this),
      session_(context_),
      rune_book_(context_),
      rune_quantities_(context_),
      mastery_book_(context_),
      summoner_icons_(context_),
      champion_mastery_(context_),
      ward_skins_(context_),
      backdrop_(context_, champion_mastery_),
      notifications_(context_) {
  // Route order: the order the API description lists, and the order of
  // every hook.
  context_.SetCollections({&rune_book_, &rune_quantities_, &mastery_book_, &summoner_icons_, &champion_mastery_,
                           &ward_skins_, &backdrop_});
}

Quarn::Client::Collections::CollectionsService::~CollectionsService() = default;

void Quarn::Client::Collections::CollectionsService::RegisterApi() {
  BindingRegistry& registry = api().registry();
  // The DTOs first: the login-data type embeds two of them.
  RegisterTrovDtos(registry, trov_classes(), registration_tags());
  RegisterApiTypes(registry, api_name(), registration_tags());
  for (Collection* collection : context_.collections()) collection->RegisterRoutes();
}

bool Quarn::Client::Collections::CollectionsService::Init() {
  session_.Subscribe();
  for (Collection* collection : context_.collections()) collection->Subscribe();
  notifications_.Subscribe();
  for (Collection* collection : context_.collections()) collection->Start();
  return true;
}
