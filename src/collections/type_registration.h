// Registration of the Collections service's backend DTOs and API types in
// the type registry, called from the service's register-API hook: the DTOs
// first (the login-data type embeds two of them), then the API types.
//
// Fields are registered in declaration order with flags 0 and empty
// descriptions; every type carries `tags`. A name registered before keeps
// its first registration (the registry ignores the repeat).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "binding/binding_registry.h"
#include "runtime/trov_class_tables.h"

namespace Quarn::Client::Collections {

// Registers the 17 DTOs under their DTO names (no prefix) and records each
// DTO's backend class in `tables`, by DTO name and by native type id.
// Borrows its arguments for the duration of the call.
void RegisterTrovDtos(BindingRegistry& registry, TrovClassTables& tables,
                      const std::vector<std::string>& tags);

// Registers the 35 API types, in dependency order, each under `api_name`
// followed by its type name ("KivCollections" + "CollectionsRuneBook").
// REQUIRES: RegisterTrovDtos ran on `registry` (SummonerData embeds DTOs).
void RegisterApiTypes(BindingRegistry& registry, std::string_view api_name,
                      const std::vector<std::string>& tags);

}  // namespace Quarn::Client::Collections
