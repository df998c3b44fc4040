// Backend: the game's backend services as the developer host plays them,
// over a World. Remote methods reached through the login plug-in's invoke
// endpoint answer a DTO with its backend class name; service-proxy methods
// answer a JSON payload text. Saves change the world, so a later read shows
// them. Faults make chosen methods fail.
//
// Services and methods:
//   spellBookService     getSpellBook(summoner id), saveSpellBook(SpellBookDTO),
//                        selectDefaultSpellBookPage(SpellBookPageDTO)
//   masteryBookService   getMasteryBook(summoner id), saveMasteryBook(MasteryBookDTO)
//   summonerRuneService  getSummonerRuneInventory(summoner id)
//   summonerIconService  getSummonerIconInventory(summoner id)
//   championMastery      (service proxy) getAllChampionMasteries(summoner id),
//                        getChampionMastery(summoner id, champion id),
//                        getChampionMasteryScoreAndChest()
//   wardSkins            (service proxy) requestSelectableWardSkins(): the
//                        logged-in summoner's owned ward-skin ids
//
// Everything here runs on the host's loop thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "binding/failure.h"
#include "binding/maybe_type.h"
#include "host/host_value.h"
#include "host/world.h"

namespace kiv::host {

// Backend class names of the DTOs the backend answers with or takes.
namespace backend_class {
inline constexpr std::string_view kSpellBook = "com.quarngames.platform.summoner.spellbook.SpellBookDTO";
inline constexpr std::string_view kSpellBookPage =
    "com.quarngames.platform.summoner.spellbook.SpellBookPageDTO";
inline constexpr std::string_view kMasteryBook =
    "com.quarngames.platform.summoner.masterybook.MasteryBookDTO";
inline constexpr std::string_view kMasteryBookPage =
    "com.quarngames.platform.summoner.masterybook.MasteryBookPageDTO";
inline constexpr std::string_view kRuneInventory =
    "com.quarngames.platform.summoner.runes.SummonerRuneInventory";
inline constexpr std::string_view kRune = "com.quarngames.platform.summoner.runes.SummonerRune";
inline constexpr std::string_view kIconInventory =
    "com.quarngames.platform.summoner.icon.SummonerIconInventoryDTO";
inline constexpr std::string_view kIcon = "com.quarngames.platform.summoner.icon.SummonerIcon";
inline constexpr std::string_view kStoreFulfillment =
    "com.quarngames.platform.messaging.StoreFulfillmentNotification";
inline constexpr std::string_view kRentalUpdate =
    "com.quarngames.platform.messaging.RentalUpdateNotification";
inline constexpr std::string_view kSimpleDialog =
    "com.quarngames.platform.messaging.persistence.SimpleDialogMessage";
inline constexpr std::string_view kContentItem =
    "com.quarngames.platform.catalog.content.ContentItemIdentifier";
}  // namespace backend_class

// An answer of a remote method: the body's backend class name ("" with a
// null body for methods that return nothing) and the body.
struct BackendAnswer {
  std::string type_name;
  OwnedValue body;
};

// Makes calls of `target` fail: "service.method", or "service" for every
// method of the service.
struct BackendFault {
  std::string target;
  uint32_t status = 500;
  std::string message = "injected backend failure";
  int times = -1;  // calls that fail; -1 every one
  int fired = 0;
};

class Backend {
 public:
  // `world` is borrowed and must outlive the backend.
  explicit Backend(World& world) : world_(world) {}

  // A remote method with its arguments (a list value, borrowed for the
  // duration of the call). Failures carry an HTTP-style status as their
  // code: 404 unknown service, method or summoner; 400 wrong arguments or
  // a DTO of another class; 403 a save for a summoner who is not logged in;
  // a fault's status.
  Quarn::Maybe<BackendAnswer> Invoke(std::string_view service, std::string_view method,
                                     const HostValue& arguments);
  // A service-proxy method with its payload (JSON text; "" for none).
  // Returns the answer's payload as JSON text; failures as Invoke.
  Quarn::Maybe<std::string> ServiceProxy(std::string_view service, std::string_view method,
                                         std::string_view payload);

  void AddFault(BackendFault fault) { faults_.push_back(std::move(fault)); }
  void ClearFaults() { faults_.clear(); }
  const std::vector<BackendFault>& faults() const { return faults_; }

  // DTOs of one summoner, as getSpellBook and getMasteryBook answer them.
  static OwnedValue SpellBookDto(const WorldSummoner& summoner);
  static OwnedValue MasteryBookDto(const WorldSummoner& summoner);

 private:
  // The failure of the first fault that takes this call, if any.
  std::optional<Quarn::Failure> TakeFault(std::string_view service, std::string_view method);

  World& world_;
  std::vector<BackendFault> faults_;
};

// The current UTC time as "%Y-%m-%dT%H:%M:%SZ", and in milliseconds.
std::string UtcDateString();
uint64_t UtcMilliseconds();

}  // namespace kiv::host
