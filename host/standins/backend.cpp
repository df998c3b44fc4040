#include "host/standins/backend.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <span>

#include "host/detail/world_io.h"

namespace {

using kiv::host::BackendAnswer;
using kiv::host::OwnedValue;
using kiv::host::WorldSummoner;
using kiv::host::detail::FindMember;
using kiv::host::detail::Preview;
using kiv::host::detail::RecordMembers;
using kiv::host::detail::ValueReader;
namespace cls = kiv::host::backend_class;

// A saved book as the plug-in sends it; members other than these (the
// "__class" annotations, the pages' own summoner ids) are ignored.
struct SavedSpellBook {
  uint64_t summoner_id = 0;
  std::vector<kiv::host::WorldRunePage> book_pages;
};
template <class Io>
void Describe(Io& io, SavedSpellBook& r) {
  io("summonerId", r.summoner_id);
  io("bookPages", r.book_pages);
}
struct SavedMasteryBook {
  uint64_t summoner_id = 0;
  std::vector<kiv::host::WorldMasteryPage> book_pages;
};
template <class Io>
void Describe(Io& io, SavedMasteryBook& r) {
  io("summonerId", r.summoner_id);
  io("bookPages", r.book_pages);
}
struct SelectedPage {
  uint64_t summoner_id = 0;
  uint32_t page_id = 0;
};
template <class Io>
void Describe(Io& io, SelectedPage& r) {
  io("summonerId", r.summoner_id);
  io("pageId", r.page_id);
}

Quarn::Failure Fail(uint32_t status, std::string message) {
  return Quarn::Failure(std::move(message), status);
}

std::string Call(std::string_view service, std::string_view method) {
  return std::string(service) + "." + std::string(method);
}

std::span<const HostValue> Elements(const HostValue& list) {
  if (list.tag != KIV_VALUE_ARRAY || list.data.seq.count == 0) return {};
  return {static_cast<const HostValue*>(list.data.seq.data), list.data.seq.count};
}

// Checks the argument count of a remote method.
std::optional<Quarn::Failure> ExpectArguments(std::string_view service, std::string_view method,
                                              std::span<const HostValue> arguments, size_t count,
                                              std::string_view what) {
  if (arguments.size() == count) return std::nullopt;
  return Fail(400, Call(service, method) + " takes " + std::to_string(count) + " argument" +
                       (count == 1 ? "" : "s") + " (" + std::string(what) + "), got " +
                       std::to_string(arguments.size()));
}

// The backend refuses a DTO of another class, as its deserialiser would.
std::optional<Quarn::Failure> ExpectClass(std::string_view service, std::string_view method,
                                          const HostValue& argument, std::string_view expected) {
  const HostValue* annotation = FindMember(argument, "__class");
  const bool text =
      annotation != nullptr && (annotation->tag == KIV_VALUE_TEXT || annotation->tag == KIV_VALUE_TEXT_OWNED);
  if (text && expected == annotation->data.text) return std::nullopt;
  const std::string got = annotation == nullptr ? "no \"__class\""
                          : text                ? "'" + std::string(annotation->data.text) + "'"
                                                : Preview(*annotation);
  return Fail(400, Call(service, method) + " expects a " + std::string(expected) + ", got " + got);
}

template <class T>
Quarn::Maybe<T> ReadArgument(std::string_view service, std::string_view method, const HostValue& argument,
                             std::string_view what) {
  ValueReader reader(/*strict_keys=*/false);
  T out{};
  reader.Read(argument, std::string(what), out);
  if (!reader.ok()) return Fail(400, Call(service, method) + ": " + reader.problems().front());
  return out;
}

// A summoner id given alone, as the first element of a list, or as the
// member "summonerId" of an object.
Quarn::Maybe<uint64_t> SummonerIdOf(const HostValue& value, std::string_view call) {
  const HostValue* id = &value;
  if (value.tag == KIV_VALUE_ARRAY && value.data.seq.count > 0) id = &Elements(value)[0];
  if (const HostValue* member = FindMember(value, "summonerId")) id = member;
  ValueReader reader;
  uint64_t out = 0;
  reader.Read(*id, "summoner id", out);
  if (!reader.ok() || id->tag == KIV_VALUE_NULL)
    return Fail(400, std::string(call) + " needs a summoner id, got " + Preview(value));
  return out;
}

OwnedValue Annotated(kiv::host::detail::ObjectWriter members, std::string_view class_name) {
  members.members.emplace_back("__class", OwnedValue::Text(class_name));
  return members.Build();
}

OwnedValue ChampionMasteryValue(const kiv::host::WorldChampionMastery& mastery, uint64_t player_id) {
  auto members = RecordMembers(mastery);
  members.members.emplace(members.members.begin(), "playerId", OwnedValue::Unsigned(player_id));
  return members.Build();
}

}  // namespace

std::string kiv::host::UtcDateString() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

uint64_t kiv::host::UtcMilliseconds() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count());
}

namespace {

// A spell or mastery book: its pages, each stamped with the summoner, under
// their backend classes.
template <class Page>
OwnedValue BookDto(uint64_t summoner_id, const std::vector<Page>& book_pages, std::string_view page_class,
                   std::string_view book_class) {
  std::vector<OwnedValue> pages;
  for (const auto& page : book_pages) {
    auto members = RecordMembers(page);
    members.members.emplace_back("summonerId", OwnedValue::Unsigned(summoner_id));
    pages.push_back(Annotated(std::move(members), page_class));
  }
  kiv::host::detail::ObjectWriter book;
  book.members.emplace_back("summonerId", OwnedValue::Unsigned(summoner_id));
  book.members.emplace_back("dateString", OwnedValue::Text(kiv::host::UtcDateString()));
  book.members.emplace_back("bookPages", OwnedValue::Array(pages));
  return Annotated(std::move(book), book_class);
}

}  // namespace

OwnedValue kiv::host::Backend::SpellBookDto(const WorldSummoner& summoner) {
  return BookDto(summoner.summoner_id, summoner.rune_pages, cls::kSpellBookPage, cls::kSpellBook);
}

OwnedValue kiv::host::Backend::MasteryBookDto(const WorldSummoner& summoner) {
  return BookDto(summoner.summoner_id, summoner.mastery_pages, cls::kMasteryBookPage, cls::kMasteryBook);
}

std::optional<Quarn::Failure> kiv::host::Backend::TakeFault(std::string_view service,
                                                            std::string_view method) {
  const std::string call = Call(service, method);
  for (BackendFault& f : faults_) {
    if (f.target != call && f.target != service) continue;
    if (f.times >= 0 && f.fired >= f.times) continue;
    ++f.fired;
    return Fail(f.status, f.message);
  }
  return std::nullopt;
}

Quarn::Maybe<BackendAnswer> kiv::host::Backend::Invoke(std::string_view service, std::string_view method,
                                                       const HostValue& arguments) {
  if (auto fault = TakeFault(service, method)) return std::move(*fault);
  const std::span<const HostValue> args = Elements(arguments);
  const std::string call = Call(service, method);

  // The three readers take a summoner id and answer one of its DTOs.
  const bool is_read = call == "spellBookService.getSpellBook" ||
                       call == "masteryBookService.getMasteryBook" ||
                       call == "summonerRuneService.getSummonerRuneInventory" ||
                       call == "summonerIconService.getSummonerIconInventory";
  if (is_read) {
    if (auto bad = ExpectArguments(service, method, args, 1, "summoner id")) return std::move(*bad);
    auto id = SummonerIdOf(args[0], call);
    if (id.HasFailure()) return id.TakeFailure();
    const WorldSummoner* summoner = world_.Find(*id);
    if (summoner == nullptr) return Fail(404, call + ": no summoner with id " + std::to_string(*id));
    if (method == "getSpellBook") return BackendAnswer{std::string(cls::kSpellBook), SpellBookDto(*summoner)};
    if (method == "getMasteryBook")
      return BackendAnswer{std::string(cls::kMasteryBook), MasteryBookDto(*summoner)};
    if (method == "getSummonerRuneInventory") {
      std::vector<OwnedValue> runes;
      for (const auto& rune : summoner->runes) {
        auto members = RecordMembers(rune);
        members.members.emplace_back("summonerId", OwnedValue::Unsigned(summoner->summoner_id));
        runes.push_back(Annotated(std::move(members), cls::kRune));
      }
      detail::ObjectWriter inventory;
      inventory.members.emplace_back("dateString", OwnedValue::Text(UtcDateString()));
      inventory.members.emplace_back("summonerId", OwnedValue::Unsigned(summoner->summoner_id));
      inventory.members.emplace_back("summonerRunes", OwnedValue::Array(runes));
      return BackendAnswer{std::string(cls::kRuneInventory),
                           Annotated(std::move(inventory), cls::kRuneInventory)};
    }
    std::vector<OwnedValue> icons;
    for (const auto& icon : summoner->icons) {
      auto members = RecordMembers(icon);
      members.members.emplace_back("summonerId", OwnedValue::Unsigned(summoner->summoner_id));
      icons.push_back(Annotated(std::move(members), cls::kIcon));
    }
    detail::ObjectWriter inventory;
    inventory.members.emplace_back("dateString", OwnedValue::Text(UtcDateString()));
    inventory.members.emplace_back("summonerId", OwnedValue::Unsigned(summoner->summoner_id));
    inventory.members.emplace_back("summonerIcons", OwnedValue::Array(icons));
    return BackendAnswer{std::string(cls::kIconInventory),
                         Annotated(std::move(inventory), cls::kIconInventory)};
  }

  // Saves: only the logged-in summoner's own books, as the backend's
  // session check would have it.
  auto logged_in = [&](uint64_t id) -> std::optional<Quarn::Failure> {
    if (world_.Find(id) == nullptr) return Fail(404, call + ": no summoner with id " + std::to_string(id));
    const WorldSummoner* current = world_.Current();
    if (current == nullptr || current->summoner_id != id)
      return Fail(403, call + ": summoner " + std::to_string(id) + " is not the logged-in summoner");
    return std::nullopt;
  };
  if (call == "spellBookService.saveSpellBook") {
    if (auto bad = ExpectArguments(service, method, args, 1, "SpellBookDTO")) return std::move(*bad);
    if (auto bad = ExpectClass(service, method, args[0], cls::kSpellBook)) return std::move(*bad);
    auto book = ReadArgument<SavedSpellBook>(service, method, args[0], "SpellBookDTO");
    if (book.HasFailure()) return book.TakeFailure();
    if (auto refused = logged_in(book->summoner_id)) return std::move(*refused);
    world_.Find(book->summoner_id)->rune_pages = std::move(book->book_pages);
    return BackendAnswer{};
  }
  if (call == "spellBookService.selectDefaultSpellBookPage") {
    if (auto bad = ExpectArguments(service, method, args, 1, "SpellBookPageDTO")) return std::move(*bad);
    if (auto bad = ExpectClass(service, method, args[0], cls::kSpellBookPage)) return std::move(*bad);
    auto page = ReadArgument<SelectedPage>(service, method, args[0], "SpellBookPageDTO");
    if (page.HasFailure()) return page.TakeFailure();
    if (auto refused = logged_in(page->summoner_id)) return std::move(*refused);
    auto& pages = world_.Find(page->summoner_id)->rune_pages;
    const bool known = std::any_of(pages.begin(), pages.end(),
                                   [&](const WorldRunePage& p) { return p.page_id == page->page_id; });
    if (!known) return Fail(404, call + ": summoner has no rune page " + std::to_string(page->page_id));
    for (auto& p : pages) p.current = p.page_id == page->page_id;
    return BackendAnswer{};
  }
  if (call == "masteryBookService.saveMasteryBook") {
    if (auto bad = ExpectArguments(service, method, args, 1, "MasteryBookDTO")) return std::move(*bad);
    if (auto bad = ExpectClass(service, method, args[0], cls::kMasteryBook)) return std::move(*bad);
    auto book = ReadArgument<SavedMasteryBook>(service, method, args[0], "MasteryBookDTO");
    if (book.HasFailure()) return book.TakeFailure();
    if (auto refused = logged_in(book->summoner_id)) return std::move(*refused);
    world_.Find(book->summoner_id)->mastery_pages = std::move(book->book_pages);
    return BackendAnswer{};
  }
  if (service != "spellBookService" && service != "masteryBookService" && service != "summonerRuneService" &&
      service != "summonerIconService") {
    return Fail(404, "unknown backend service '" + std::string(service) + "'");
  }
  return Fail(404, std::string(service) + " has no method '" + std::string(method) + "'");
}

Quarn::Maybe<std::string> kiv::host::Backend::ServiceProxy(std::string_view service, std::string_view method,
                                                           std::string_view payload) {
  if (auto fault = TakeFault(service, method)) return std::move(*fault);
  const std::string call = Call(service, method);
  OwnedValue arguments;
  if (payload.find_first_not_of(" \t\r\n") != std::string_view::npos) {
    auto parsed = OwnedValue::FromJson(payload);
    if (parsed.HasFailure()) return Fail(400, call + ": payload is not JSON: " + parsed.failure().message());
    arguments = parsed.TakeValue();
  }
  const WorldSummoner* current = world_.Current();

  if (call == "championMastery.getAllChampionMasteries") {
    auto id = SummonerIdOf(arguments.get(), call);
    if (id.HasFailure()) return id.TakeFailure();
    const WorldSummoner* summoner = world_.Find(*id);
    if (summoner == nullptr) return Fail(404, call + ": no summoner with id " + std::to_string(*id));
    std::vector<OwnedValue> list;
    for (const auto& m : summoner->champion_masteries) list.push_back(ChampionMasteryValue(m, *id));
    return OwnedValue::Array(list).ToJson();
  }
  if (call == "championMastery.getChampionMastery") {
    auto id = SummonerIdOf(arguments.get(), call);
    if (id.HasFailure()) return id.TakeFailure();
    // The champion id follows the summoner id in a list, or is the member
    // "championId" of an object.
    const HostValue* champion = FindMember(arguments.get(), "championId");
    if (champion == nullptr && Elements(arguments.get()).size() >= 2)
      champion = &Elements(arguments.get())[1];
    ValueReader reader;
    int64_t champion_id = 0;
    if (champion != nullptr) reader.Read(*champion, "champion id", champion_id);
    if (champion == nullptr || !reader.ok())
      return Fail(400, call + " needs a summoner id and a champion id, got " + Preview(arguments.get()));
    const WorldSummoner* summoner = world_.Find(*id);
    if (summoner == nullptr) return Fail(404, call + ": no summoner with id " + std::to_string(*id));
    for (const auto& m : summoner->champion_masteries) {
      if (m.champion_id == champion_id) return ChampionMasteryValue(m, *id).ToJson();
    }
    // A champion never played has an empty mastery record.
    WorldChampionMastery none;
    none.champion_id = static_cast<int32_t>(champion_id);
    return ChampionMasteryValue(none, *id).ToJson();
  }
  if (call == "championMastery.getChampionMasteryScoreAndChest") {
    if (current == nullptr) return Fail(403, call + ": nobody is logged in");
    return detail::WriteValue(current->chest_eligibility).ToJson();
  }
  if (call == "wardSkins.requestSelectableWardSkins") {
    if (current == nullptr) return Fail(403, call + ": nobody is logged in");
    std::vector<OwnedValue> ids;
    for (const int64_t id : current->ward_skins)
      ids.push_back(OwnedValue::Unsigned(static_cast<uint64_t>(id)));
    return OwnedValue::Array(ids).ToJson();
  }
  if (service != "championMastery" && service != "wardSkins")
    return Fail(404, "unknown service-proxy service '" + std::string(service) + "'");
  return Fail(404, std::string(service) + " has no method '" + std::string(method) + "'");
}
