#include "collections/collections_service.h"

Quarn::Client::Collections::CollectionsService::CollectionsService() : PluginBase(kBackendKind) {}

Quarn::Client::Collections::CollectionsService::~CollectionsService() = default;

void Quarn::Client::Collections::CollectionsService::RegisterApi() {}

bool Quarn::Client::Collections::CollectionsService::Init() { return true; }
