// Quarn::Client::Collections::CollectionsService: the Collections plug-in
// object, a backend plug-in named "kiv-collections".
#pragma once

#include <string_view>

#include "runtime/plugin_base.h"

namespace Quarn::Client::Collections {

class CollectionsService : public PluginBase {
 public:
  static constexpr std::string_view kShortName = "kiv-collections";

  CollectionsService();
  ~CollectionsService() override;

  // Registers the service's types, DTOs and endpoints in api().
  void RegisterApi() override;
  // Starts the service's subscriptions. Returns true.
  bool Init() override;
};

}  // namespace Quarn::Client::Collections
