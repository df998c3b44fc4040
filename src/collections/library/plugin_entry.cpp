// The plug-in library's one exported function.
#include <memory>
#include <new>

#include "collections/collections_service.h"
#include "kiv/plugin_abi.h"
#include "runtime/plugin_loader.h"

namespace {

// A load that could not finish hands back no object: words 3-6 null tell
// the host that there is nothing to initialise or unload.
void WriteNoPlugin(PluginStartRecord& record) {
  record.callbacks = nullptr;
  record.plugin = nullptr;
  record.short_name = nullptr;
  record.description = nullptr;
}

}  // namespace

KIV_EXPORT void load_kiv_collections(PluginStartRecord* record) {
  using Quarn::Client::Collections::CollectionsService;
  if (record == nullptr) return;
  std::unique_ptr<CollectionsService> service;
  try {
    service = std::make_unique<CollectionsService>();
    Quarn::LoadPlugin(*service, *record, CollectionsService::kShortName);
  } catch (...) {
    // Out of memory while building the object or its API; no exception may
    // reach the host.
    WriteNoPlugin(*record);
    return;
  }
  // From here the host owns the object's lifetime: its unload callback
  // destroys it.
  service.release();
}
