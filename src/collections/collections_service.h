// Quarn::Client::Collections::CollectionsService: the Collections plug-in
// object, a backend plug-in named "kiv-collections". It owns the service
// context and one object per collection, keeps the collections in one
// table in route order, and runs registration and subscription over it:
//   collections/session.h        the session's transitions over the table
//   collections/notifications.h  backend push messages, handed to the table
//   collections/collection.h     the hooks every collection offers
#pragma once

#include <string_view>

#include "collections/backdrop.h"
#include "collections/champion_mastery.h"
#include "collections/mastery_book.h"
#include "collections/notifications.h"
#include "collections/rune_book.h"
#include "collections/rune_quantities.h"
#include "collections/service_context.h"
#include "collections/session.h"
#include "collections/summoner_icons.h"
#include "collections/ward_skins.h"
#include "runtime/plugin_base.h"

namespace Quarn::Client::Collections {

class CollectionsService : public PluginBase {
 public:
  static constexpr std::string_view kShortName = "kiv-collections";

  CollectionsService();
  ~CollectionsService() override;

  // Registers the DTOs, the API types and every collection's routes in
  // table order.
  void RegisterApi() override;
  // Subscribes to the session, to what each collection follows and to the
  // backend's messages, in that order, then starts the collections.
  // Returns true. [re-entrant]
  bool Init() override;

  const SessionState& session() const { return context_.session(); }
  const RuneBook& rune_book() const { return rune_book_; }
  const MasteryBook& mastery_book() const { return mastery_book_; }

 private:
  ServiceContext context_;
  Session session_;
  RuneBook rune_book_;
  RuneQuantities rune_quantities_;
  MasteryBook mastery_book_;
  SummonerIcons summoner_icons_;
  ChampionMastery champion_mastery_;
  WardSkins ward_skins_;
  Backdrop backdrop_;
  Notifications notifications_;
};

}  // namespace Quarn::Client::Collections
