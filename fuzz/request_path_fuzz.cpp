// Fuzzes the plug-in's request path: one request, split out of the input,
// goes through the route table of a freshly loaded Collections service on
// the fake host, summoner 7 logged in with books and masteries cached.
// Input layout, newline-separated: method, path, query, content type, and
// the body (the rest, newlines included). Missing fields are empty; a query
// is appended to the path after '?'. Any status is fine.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "collections/collections_fixture.h"

namespace {

std::string NextLine(std::string_view& rest) {
  const size_t end = rest.find('\n');
  const std::string line(rest.substr(0, end));
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  return line;
}

void AnswerAssets(kiv::test::FakeHost& host) {
  host.AnswerJson("GET", "/kiv-game-data/assets/v1/summoner-masteries.json",
                  R"({"tree":{"groups":[{"id":1,"rows":[{"masteries":[4111,4112]},{"masteries":[4113]}]},)"
                  R"({"id":2,"rows":[{"masteries":[4211]}]}]}})");
  host.AnswerJson("GET", "/kiv-game-data/assets/v1/summoner-spells.json",
                  R"([{"id":1,"summonerLevel":0},{"id":4,"summonerLevel":"3"},{"id":6,"summonerLevel":40}])");
  host.AnswerJson("GET", "/kiv-game-data/assets/v1/ward-skins.json",
                  R"([{"id":2,"name":"w","description":"","wardImagePath":"","wardShadowImagePath":""}])");
  host.AnswerJson("GET", "/kiv-summoner/v1/summoners/7",
                  R"({"summonerId":7,"accountId":1007,"summonerLevel":30,"profileIconId":1402})");
}

struct World : kiv::test::CollectionsFixture {
  World() : CollectionsFixture(AnswerAssets) {
    using namespace kiv::test;
    backend.Accepts("spellBookService.saveSpellBook");
    backend.Accepts("spellBookService.selectDefaultSpellBookPage");
    backend.Accepts("masteryBookService.saveMasteryBook");
    backend.Returns("spellBookService.getSpellBook", kSpellBookClass,
                    R"({"summonerId":8,"bookPages":[{"pageId":9,"name":"x"}]})");
    backend.Returns("masteryBookService.getMasteryBook", kMasteryBookClass,
                    R"({"summonerId":7,"bookPages":[{"pageId":1,"name":"p1","current":true,)"
                    R"("talentEntries":[{"rank":1,"talentId":4111}]}]})");
    backend.Answers("championMastery.getAllChampionMasteries",
                    "[" + MasteryJson(103, 4, 900) + "," + MasteryJson(7, 5, 20000) + "]");
    backend.Answers("championMastery.getChampionMastery", MasteryJson(103, 4, 900));
    backend.Answers("championMastery.getChampionMasteryScoreAndChest", R"({"score":9,"earnableChests":2})");
    backend.Answers("wardSkins.requestSelectableWardSkins", "[2]");
    EnableMastery();
    LogIn(7);
    LoginData(R"({"summonerId":7,"bookPages":[)"
              R"({"pageId":1,"name":"one","slotEntries":[{"runeId":5001,"runeSlotId":1}]},)"
              R"({"pageId":2,"name":"two","current":true},{"pageId":3,"name":"three"}]})",
              R"({"summonerId":7,"bookPages":[{"pageId":1,"name":"p1","current":true,"talentEntries":[]}]})");
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  const std::string method = NextLine(rest);
  std::string path = NextLine(rest);
  const std::string query = NextLine(rest);
  const std::string content_type = NextLine(rest);
  if (method.empty()) return 0;  // no request at all
  if (!query.empty()) path += "?" + query;
  World world;
  world.host.Send(method, path, std::string(rest), content_type);
  world.host.RunUntilIdle();
  // A second request after the first one's work shows what it left behind.
  world.host.Send("GET", "/kiv-collections/v1/inventories/7/rune-book");
  world.host.RunUntilIdle();
  return 0;
}
