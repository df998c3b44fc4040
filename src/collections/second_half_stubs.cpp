// Placeholders for the second-half hooks until their collections exist;
// delete each one when its real definition lands.
#include "collections/service_parts.h"

void Quarn::Client::Collections::RegisterChampionMasteryRoutes(CollectionsService&) {}
void Quarn::Client::Collections::RegisterWardSkinRoutes(CollectionsService&) {}
void Quarn::Client::Collections::RegisterBackdropRoutes(CollectionsService&) {}
void Quarn::Client::Collections::SubscribeChampionMasterySettings(CollectionsService&) {}
void Quarn::Client::Collections::SubscribeBackdropSources(CollectionsService&) {}
void Quarn::Client::Collections::SubscribeNotifications(CollectionsService&) {}
void Quarn::Client::Collections::RefreshWardSkins(CollectionsService&) {}
void Quarn::Client::Collections::CheckChampionMasteryAfterReconnect(CollectionsService&) {}
void Quarn::Client::Collections::OnLoggedOut(CollectionsService&) {}
void Quarn::Client::Collections::ForgetSecondHalfCaches(CollectionsService&) {}
