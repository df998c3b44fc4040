// The Collections plug-in end to end in the developer host over the default
// world, over HTTP only: log in, read every rune-book, mastery-book, rune,
// spell and icon route, rename and select a rune page, create, edit and
// delete a mastery page, and check the answers against the world, the
// resource events on /events and the backend calls on /sim/calls.
#include <gtest/gtest.h>
#include <httplib.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/serve_fixture.h"
#include "host/world.h"

namespace {

using kiv::test::Json;

// Follows /events in the background and collects what arrives.
class EventStream {
 public:
  explicit EventStream(int port) : client_("127.0.0.1", port) {
    client_.set_read_timeout(30, 0);
    thread_ = std::thread([this] {
      client_.Get("/events", [this](const char* data, size_t size) {
        std::lock_guard lock(mutex_);
        text_.append(data, size);
        return !stop_;
      });
    });
  }
  ~EventStream() {
    stop_ = true;
    client_.stop();
    thread_.join();
  }
  // The data of every event whose URI is `uri`, in order, once `count` of
  // them have arrived (or what arrived within ten seconds).
  std::vector<std::string> At(const std::string& uri, size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::vector<std::string> found;
    while (std::chrono::steady_clock::now() < deadline) {
      found = Collect(uri);
      if (found.size() >= count) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return found;
  }
  // Whether the stream has started (within ten seconds).
  bool Following() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Text().find(": following") == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }
  std::string Text() {
    std::lock_guard lock(mutex_);
    return text_;
  }

 private:
  std::vector<std::string> Collect(const std::string& uri) {
    std::vector<std::string> found;
    const std::string text = Text();
    const std::string needle = "data: {\"uri\":\"" + uri + "\",";
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
      const size_t end = text.find("\n\n", at);
      if (end == std::string::npos) break;
      found.push_back(text.substr(at + 6, end - at - 6));
    }
    return found;
  }

  httplib::Client client_;
  std::thread thread_;
  std::mutex mutex_;
  std::string text_;
  std::atomic<bool> stop_{false};
};

class CollectionsBooksEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    auto world = kiv::host::LoadWorld(KIV_SOURCE_DIR "/worlds/default.json");
    ASSERT_TRUE(world.ok()) << world.FailureMessage();
    world_ = world.TakeValue();
    summoner_ = *world_.Find(world_.login.summoner_id);
    // The test logs in itself.
    world_.login.logged_in = false;
    served_ = kiv::test::Serve(KIV_PLUGIN_PATH, world_);
    ASSERT_TRUE(served_);
    base_ = "/kiv-collections/v1/inventories/" + std::to_string(summoner_.summoner_id);
  }

  // Status and body of one request.
  std::pair<int, std::string> Call(const std::string& method, const std::string& path,
                                   const std::string& body = {}) {
    httplib::Request request;
    request.method = method;
    request.path = path;
    request.body = body;
    if (!body.empty()) request.set_header("Content-Type", "application/json");
    auto result = served_->http->send(request);
    if (!result) return {0, "no answer"};
    return {result->status, result->body};
  }
  rapidjson::Document GetJson(const std::string& path) {
    const auto [status, body] = Call("GET", path);
    EXPECT_EQ(status, 200) << path << ": " << body;
    return Json(body);
  }
  // The backend methods called since the last call of this function.
  std::vector<std::string> BackendCalls() {
    std::vector<std::string> methods;
    const rapidjson::Document calls = Json(Call("GET", "/sim/calls").second);
    for (const auto& call : calls["calls"].GetArray()) {
      if (call.HasMember("backend")) methods.emplace_back(call["backend"].GetString());
    }
    EXPECT_EQ(Call("DELETE", "/sim/calls").first, 204);
    return methods;
  }

  kiv::host::World world_;
  kiv::host::WorldSummoner summoner_;
  std::unique_ptr<kiv::test::Served> served_;
  std::string base_;
};

TEST_F(CollectionsBooksEndToEnd, LogInReadEveryRouteAndEditBothBooks) {
  EventStream events(served_->server->port());
  ASSERT_TRUE(events.Following());

  // ---- log in: the login data fills both books, the login loads the runes.
  ASSERT_EQ(Call("POST", "/sim/login", "{}").first, 204);
  ASSERT_EQ(events.At(base_ + "/rune-book", 1).size(), 1u) << events.Text();
  ASSERT_EQ(events.At(base_ + "/mastery-book", 1).size(), 1u);
  ASSERT_EQ(events.At(base_ + "/runes", 1).size(), 1u);
  BackendCalls();

  // ---- rune book, verification code: the world's pages, from the cache.
  const rapidjson::Document book = GetJson(base_ + "/rune-book");
  ASSERT_EQ(book["pages"].Size(), summoner_.rune_pages.size());
  int current_pages = 0;
  for (size_t i = 0; i < summoner_.rune_pages.size(); ++i) {
    const auto& page = book["pages"][static_cast<rapidjson::SizeType>(i)];
    EXPECT_EQ(page["id"].GetUint(), summoner_.rune_pages[i].page_id);
    EXPECT_EQ(page["name"].GetString(), summoner_.rune_pages[i].name);
    EXPECT_EQ(page["runes"].Size(), summoner_.rune_pages[i].slot_entries.size());
    current_pages += page["current"].GetBool() ? 1 : 0;
  }
  EXPECT_EQ(current_pages, 1);
  // The code is the current page's name: the page PUT .../verification renames.
  std::string current_name;
  for (const auto& page : book["pages"].GetArray()) {
    if (page["current"].GetBool()) current_name = page["name"].GetString();
  }
  EXPECT_EQ(Call("GET", base_ + "/verification").second, "\"" + current_name + "\"");

  // ---- rune quantities: one per rune, ordered by rune id.
  const rapidjson::Document runes = GetJson(base_ + "/runes");
  std::map<uint32_t, int32_t> owned_runes;
  for (const auto& rune : summoner_.runes) owned_runes[rune.rune_id] = rune.quantity;
  ASSERT_EQ(runes["runeQuantities"].Size(), owned_runes.size());
  auto expected_rune = owned_runes.begin();
  for (const auto& quantity : runes["runeQuantities"].GetArray()) {
    EXPECT_EQ(quantity["runeId"].GetUint(), expected_rune->first);
    EXPECT_EQ(quantity["quantity"].GetInt(), expected_rune->second);
    ++expected_rune;
  }

  // ---- mastery book: always from the backend, each page tallied.
  const rapidjson::Document masteries = GetJson(base_ + "/mastery-book");
  ASSERT_EQ(masteries["pages"].Size(), summoner_.mastery_pages.size());
  for (size_t i = 0; i < summoner_.mastery_pages.size(); ++i) {
    const auto& page = masteries["pages"][static_cast<rapidjson::SizeType>(i)];
    EXPECT_EQ(page["id"].GetUint(), summoner_.mastery_pages[i].page_id);
    int32_t ranks = 0;
    for (const auto& talent : summoner_.mastery_pages[i].talent_entries) ranks += talent.rank;
    int64_t points = 0;
    for (const auto& tree : page["summary"].GetObject()) points += tree.value.GetUint();
    EXPECT_EQ(points, ranks) << "page " << summoner_.mastery_pages[i].page_id;
  }

  // ---- spells: those the summoner's level allows, in asset order.
  const rapidjson::Document asset = Json(world_.game_data.summoner_spells.ToJson());
  std::vector<uint64_t> allowed;
  for (const auto& spell : asset.GetArray()) {
    // Levels written as text count as their number.
    const auto& level = spell["summonerLevel"];
    const uint32_t required = level.IsString() ? std::stoul(level.GetString()) : level.GetUint();
    if (required <= summoner_.summoner_level) allowed.push_back(spell["id"].GetUint64());
  }
  const rapidjson::Document spells = GetJson(base_ + "/spells");
  std::vector<uint64_t> answered;
  for (const auto& id : spells["spells"].GetArray()) answered.push_back(id.GetUint64());
  EXPECT_EQ(answered, allowed);

  // ---- icons: the 29 free ones, then the owned ones; one icon's ownership.
  const rapidjson::Document icons = GetJson(base_ + "/summoner-icons");
  std::vector<int32_t> expected_icons;
  for (int32_t id = 0; id < 29; ++id) expected_icons.push_back(id);
  for (const auto& icon : summoner_.icons) expected_icons.push_back(icon.icon_id);
  std::vector<int32_t> answered_icons;
  for (const auto& id : icons["icons"].GetArray()) answered_icons.push_back(id.GetInt());
  EXPECT_EQ(answered_icons, expected_icons);
  const std::string v2 = "/kiv-collections/v2/inventories/" + std::to_string(summoner_.summoner_id);
  ASSERT_FALSE(summoner_.icons.empty());
  EXPECT_TRUE(
      GetJson(v2 + "/summoner-icons/" + std::to_string(summoner_.icons[0].icon_id))["ownership"]["owned"]
          .GetBool());
  EXPECT_FALSE(GetJson(v2 + "/summoner-icons/999999")["ownership"]["owned"].GetBool());
  EXPECT_EQ(BackendCalls(), (std::vector<std::string>{"masteryBookService.getMasteryBook",
                                                      "summonerIconService.getSummonerIconInventory"}));

  // ---- a second read of each cached route makes no backend call.
  for (const char* route : {"/rune-book", "/runes", "/summoner-icons", "/verification"}) {
    EXPECT_EQ(Call("GET", base_ + route).first, 200) << route;
  }
  EXPECT_EQ(BackendCalls(), std::vector<std::string>{});

  // ---- refusals keep their status and text.
  EXPECT_EQ(kiv::test::ErrorOf(served_->http->Get("/kiv-collections/v1/inventories/0/rune-book")),
            "403 0 is an invalid summonerId");
  const std::string other = "/kiv-collections/v1/inventories/" + std::to_string(summoner_.summoner_id + 1);
  auto foreign = served_->http->Put(other + "/rune-book/select-page/1", "", "application/json");
  EXPECT_EQ(kiv::test::ErrorOf(foreign), "403 Attempted to modify another summoner's rune book.");

  // ---- rename one rune page, then select it.
  const uint32_t target = summoner_.rune_pages[1].page_id;
  rapidjson::Document page;
  page.CopyFrom(book["pages"][1], page.GetAllocator());
  page["name"].SetString("Renamed over HTTP", page.GetAllocator());
  rapidjson::StringBuffer page_json;
  rapidjson::Writer<rapidjson::StringBuffer> writer(page_json);
  page.Accept(writer);
  const auto renamed =
      Call("PUT", base_ + "/rune-book/pages/" + std::to_string(target), page_json.GetString());
  EXPECT_EQ(renamed.first, 200) << renamed.second;
  EXPECT_EQ(std::string(Json(renamed.second)["name"].GetString()), "Renamed over HTTP");
  const auto selected = Call("PUT", base_ + "/rune-book/select-page/" + std::to_string(target));
  EXPECT_EQ(selected.first, 200) << selected.second;
  EXPECT_TRUE(Json(selected.second)["current"].GetBool());
  EXPECT_EQ(BackendCalls(), (std::vector<std::string>{"spellBookService.saveSpellBook",
                                                      "spellBookService.selectDefaultSpellBookPage"}));
  // The selection is published with the new name and the new current page.
  const std::vector<std::string> rune_events = events.At(base_ + "/rune-book", 2);
  ASSERT_EQ(rune_events.size(), 2u);
  const rapidjson::Document published = Json(rune_events[1]);
  EXPECT_STREQ(published["eventType"].GetString(), "Update");
  for (const auto& p : published["data"]["pages"].GetArray()) {
    EXPECT_EQ(p["current"].GetBool(), p["id"].GetUint() == target);
    if (p["id"].GetUint() == target) {
      EXPECT_STREQ(p["name"].GetString(), "Renamed over HTTP");
    }
  }
  // The backend kept both changes: the stand-in's world shows them.
  const rapidjson::Document saved_world = GetJson("/sim/world");
  bool found = false;
  for (const auto& s : saved_world["summoners"].GetArray()) {
    if (s["summonerId"].GetUint64() != summoner_.summoner_id) continue;
    for (const auto& p : s["runePages"].GetArray()) {
      if (p["pageId"].GetUint() != target) continue;
      found = true;
      EXPECT_STREQ(p["name"].GetString(), "Renamed over HTTP");
      EXPECT_TRUE(p["current"].GetBool());
    }
  }
  EXPECT_TRUE(found);

  // ---- create, edit and delete a mastery page.
  uint32_t highest = 0;
  for (const auto& p : summoner_.mastery_pages) highest = std::max(highest, p.page_id);
  const auto created = Call("PUT", base_ + "/mastery-book/pages",
                            R"({"id":0,"name":"From HTTP","current":true,"masteries":[]})");
  ASSERT_EQ(created.first, 200) << created.second;
  const uint32_t created_id = Json(created.second)["id"].GetUint();
  EXPECT_EQ(created_id, highest + 1);
  const auto edited = Call("PUT", base_ + "/mastery-book/pages",
                           R"({"id":)" + std::to_string(created_id) + R"(,"name":"Edited","current":true})");
  EXPECT_EQ(edited.first, 200) << edited.second;
  EXPECT_STREQ(Json(edited.second)["name"].GetString(), "Edited");
  const auto deleted = Call("DELETE", base_ + "/mastery-book/pages/" + std::to_string(created_id));
  EXPECT_EQ(deleted.first, 204) << deleted.second;
  EXPECT_EQ(BackendCalls(), (std::vector<std::string>{"masteryBookService.saveMasteryBook",
                                                      "masteryBookService.saveMasteryBook",
                                                      "masteryBookService.saveMasteryBook"}));
  // Three publications after the login's; the last has the page gone and
  // its successor (the next lower id) current.
  const std::vector<std::string> mastery_events = events.At(base_ + "/mastery-book", 4);
  ASSERT_EQ(mastery_events.size(), 4u);
  const rapidjson::Document last = Json(mastery_events[3]);
  std::vector<uint32_t> ids;
  for (const auto& p : last["data"]["pages"].GetArray()) {
    ids.push_back(p["id"].GetUint());
    EXPECT_EQ(p["current"].GetBool(), p["id"].GetUint() == highest) << p["id"].GetUint();
  }
  EXPECT_EQ(std::count(ids.begin(), ids.end(), created_id), 0);
  // And the next read, from the backend, agrees.
  const rapidjson::Document reread = GetJson(base_ + "/mastery-book");
  EXPECT_EQ(reread["pages"].Size(), summoner_.mastery_pages.size());
}

}  // namespace
