// The whole Collections service, end to end: the built `kiv serve` with the
// built plug-in and the default world, driven over HTTP only, the way a
// developer drives it with curl. One scenario, read top to bottom:
//
//   1. log in and watch the login refresh arrive on /events
//   2. read all 20 routes
//   3. save and select a rune page, create and delete a mastery page
//   4. turn champion mastery off and on
//   5. push each backend notification (through /sim) and see its resource
//      events on /events and its backend calls on /sim/calls
//   6. disconnect and reconnect: the cache check runs
//   7. log out, log in as the world's second summoner: none of the first
//      summoner's data is served
#include <gtest/gtest.h>
#include <httplib.h>
#include <rapidjson/document.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr uint64_t kKestrel = 2870164;  // the world's login summoner
constexpr uint64_t kBramble = 3104478;  // the world's second summoner

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// `kiv serve` as a child process on a free port, stopped like Ctrl-C.
class KivServe {
 public:
  KivServe() {
    char pattern[] = "/tmp/kiv_scenario_XXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    dir_ = pattern;
    const std::string out = dir_ + "/out";
    pid_ = fork();
    if (pid_ == 0) {
      // A test that dies takes its server with it.
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (freopen(out.c_str(), "w", stdout) == nullptr || freopen(out.c_str(), "a", stderr) == nullptr)
        _exit(127);
      execl(KIV_TOOL_PATH, KIV_TOOL_PATH, "serve", "--plugin", KIV_PLUGIN_PATH, "--world",
            KIV_SOURCE_DIR "/worlds/default.json", "--port", "0", "--logged-out", "--quiet",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    // The start-up report names the port once the server listens.
    const auto deadline = std::chrono::steady_clock::now() + 120s;
    while (std::chrono::steady_clock::now() < deadline) {
      const std::string text = ReadFile(out);
      const size_t at = text.find("serving on http://127.0.0.1:");
      if (at != std::string::npos) {
        port_ = std::atoi(text.c_str() + at + 28);
        break;
      }
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        break;
      }
      std::this_thread::sleep_for(20ms);
    }
  }
  ~KivServe() {
    if (pid_ > 0) {
      kill(pid_, SIGINT);
      int status = 0;
      const auto deadline = std::chrono::steady_clock::now() + 20s;
      while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
          kill(pid_, SIGKILL);
          waitpid(pid_, &status, 0);
          break;
        }
        std::this_thread::sleep_for(20ms);
      }
    }
    if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
  }
  KivServe(const KivServe&) = delete;
  KivServe& operator=(const KivServe&) = delete;

  int port() const { return port_; }
  std::string Output() const { return ReadFile(dir_ + "/out"); }

 private:
  std::string dir_;
  pid_t pid_ = -1;
  int port_ = 0;
};

// Follows /events in the background.
class Events {
 public:
  explicit Events(int port) : client_("127.0.0.1", port) {
    client_.set_read_timeout(300, 0);
    thread_ = std::thread([this] {
      client_.Get("/events", [this](const char* data, size_t size) {
        std::lock_guard lock(mutex_);
        text_.append(data, size);
        return !stop_;
      });
    });
  }
  ~Events() {
    stop_ = true;
    client_.stop();
    thread_.join();
  }
  // Where the stream is now; later waits look only at what follows.
  size_t Mark() {
    std::lock_guard lock(mutex_);
    return text_.size();
  }
  // Waits until the stream holds `needle` after `mark`.
  bool WaitFor(const std::string& needle, size_t mark = 0, std::chrono::seconds timeout = 60s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      {
        std::lock_guard lock(mutex_);
        if (text_.find(needle, mark) != std::string::npos) return true;
      }
      std::this_thread::sleep_for(5ms);
    }
    return false;
  }
  std::string Since(size_t mark) {
    std::lock_guard lock(mutex_);
    return text_.substr(std::min(mark, text_.size()));
  }

 private:
  httplib::Client client_;
  std::thread thread_;
  std::mutex mutex_;
  std::string text_;
  std::atomic<bool> stop_{false};
};

// The start of an event's data line on /events for `uri`.
std::string Event(const std::string& uri, const char* type = "Update") {
  return R"(data: {"uri":")" + uri + R"(","eventType":")" + type + R"(")";
}

std::string Inventories(uint64_t summoner, const std::string& rest) {
  return "/kiv-collections/v1/inventories/" + std::to_string(summoner) + rest;
}

rapidjson::Document Json(const std::string& body) {
  rapidjson::Document d;
  d.Parse(body.c_str(), body.size());
  EXPECT_FALSE(d.HasParseError()) << "not JSON: " << body;
  return d;
}

class CollectionsScenario : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GT(serve_.port(), 0) << "kiv serve did not start:\n" << serve_.Output();
    http_ = std::make_unique<httplib::Client>("127.0.0.1", serve_.port());
    http_->set_read_timeout(120, 0);
    events_ = std::make_unique<Events>(serve_.port());
    ASSERT_TRUE(events_->WaitFor(": following"));
  }

  // "<status> <body>" of a request.
  std::string Call(const std::string& method, const std::string& path, const std::string& body = "") {
    httplib::Request request;
    request.method = method;
    request.path = path;
    request.body = body;
    if (!body.empty()) request.set_header("Content-Type", "application/json");
    auto result = http_->send(request);
    if (!result) return "no answer";
    return std::to_string(result->status) + " " + result->body;
  }
  std::string Get(const std::string& path) { return Call("GET", path); }
  // The body of a GET that must succeed.
  std::string Read(const std::string& path) {
    const std::string answer = Get(path);
    EXPECT_EQ(answer.substr(0, 4), "200 ") << path << ": " << answer;
    return answer.substr(4);
  }
  // A /sim control, which answers 204.
  void Sim(const std::string& path, const std::string& body = "") {
    EXPECT_EQ(Call("POST", "/sim/" + path, body), "204 ") << path << " " << body;
  }
  // How often the plug-in called `what` ("service.method" or "GET /path")
  // since the calls were last cleared.
  int CallCount(const std::string& what) {
    rapidjson::Document calls = Json(Read("/sim/calls"));
    const auto& counts = calls["counts"];
    return counts.HasMember(what.c_str()) ? counts[what.c_str()].GetInt() : 0;
  }
  void ClearCalls() { EXPECT_EQ(Call("DELETE", "/sim/calls"), "204 "); }
  bool Logged(const std::string& text) { return Read("/sim/log").find(text) != std::string::npos; }

  KivServe serve_;
  std::unique_ptr<httplib::Client> http_;
  std::unique_ptr<Events> events_;
};

TEST_F(CollectionsScenario, TheWholeServiceOverHttp) {
  // ---- 1. log in: the login data fills both books, the ward skins are
  // published for the first time (Create), the rune quantities follow.
  size_t mark = events_->Mark();
  Sim("login", "{}");
  ASSERT_TRUE(events_->WaitFor(Event(Inventories(kKestrel, "/ward-skins"), "Create"), mark))
      << events_->Since(mark);
  ASSERT_TRUE(events_->WaitFor(Event(Inventories(kKestrel, "/runes")), mark));
  EXPECT_TRUE(events_->WaitFor(Event(Inventories(kKestrel, "/rune-book")), mark));
  EXPECT_TRUE(events_->WaitFor(Event(Inventories(kKestrel, "/mastery-book")), mark));
  EXPECT_TRUE(events_->WaitFor(Event(Inventories(kKestrel, "/backdrop")), mark)) << "recent games arrived";

  // ---- 2. every route answers for the logged-in summoner; the API
  // description lists all 20, in table order.
  const rapidjson::Document openapi = Json(Read("/openapi.json"));
  std::vector<std::string> operations;
  for (const auto& path : openapi["paths"].GetObject()) {
    const std::string name = path.name.GetString();
    if (name.rfind("/kiv-collections/", 0) != 0) continue;
    for (const auto& method : path.value.GetObject()) {
      const std::string verb = method.name.GetString();
      if (verb == "get" || verb == "put" || verb == "delete") operations.push_back(verb + " " + name);
    }
  }
  ASSERT_EQ(operations.size(), 20u);
  const std::string inv = "/kiv-collections/v1/inventories/";
  const std::vector<std::string> last_six(operations.end() - 6, operations.end());
  EXPECT_EQ(
      last_six,
      (std::vector<std::string>{
          "get " + inv + "{summonerId}/champion-mastery", "get " + inv + "{summonerId}/champion-mastery/top",
          "get " + inv + "chest-eligibility", "get " + inv + "{summonerId}/ward-skins",
          "get " + inv + "{summonerId}/ward-skins/{wardSkinId}", "get " + inv + "{summonerId}/backdrop"}));

  ClearCalls();
  rapidjson::Document book = Json(Read(Inventories(kKestrel, "/rune-book")));
  EXPECT_EQ(book["summonerId"].GetUint64(), kKestrel);
  ASSERT_GE(book["pages"].Size(), 2u);
  EXPECT_EQ(CallCount("spellBookService.getSpellBook"), 0) << "the login data filled the cache";
  const unsigned second_page = book["pages"][1]["id"].GetUint();

  std::string current_name;
  for (const auto& page : book["pages"].GetArray()) {
    if (page["current"].GetBool()) current_name = page["name"].GetString();
  }
  EXPECT_EQ(Read(Inventories(kKestrel, "/verification")), "\"" + current_name + "\"")
      << "the code is the current page's name";
  EXPECT_NE(Read(Inventories(kKestrel, "/runes")).find(R"("runeQuantities":[)"), std::string::npos);
  rapidjson::Document masteries = Json(Read(Inventories(kKestrel, "/mastery-book")));
  ASSERT_GE(masteries["pages"].Size(), 1u);
  EXPECT_TRUE(masteries["pages"][0]["summary"].IsObject());
  EXPECT_NE(Read(Inventories(kKestrel, "/spells")).find(R"("spells":[)"), std::string::npos);
  rapidjson::Document icons = Json(Read(Inventories(kKestrel, "/summoner-icons")));
  EXPECT_EQ(icons["icons"][0].GetInt(), 0) << "every summoner owns icons 0-28";
  EXPECT_NE(Read("/kiv-collections/v2/inventories/" + std::to_string(kKestrel) + "/summoner-icons/3")
                .find(R"("owned":true)"),
            std::string::npos);

  rapidjson::Document champions = Json(Read(Inventories(kKestrel, "/champion-mastery")));
  ASSERT_GT(champions.Size(), 2u);
  rapidjson::Document top =
      Json(Read(Inventories(kKestrel, "/champion-mastery/top?limit=2&sortRule=points")));
  ASSERT_EQ(top["masteries"].Size(), 2u);
  EXPECT_GE(top["masteries"][0]["championPoints"].GetInt(), top["masteries"][1]["championPoints"].GetInt());
  EXPECT_GT(top["score"].GetUint64(), 0u);
  EXPECT_EQ(Json(Read(Inventories(kKestrel, "/champion-mastery/top")))["masteries"].Size(), champions.Size())
      << "no limit: the whole list";
  EXPECT_EQ(CallCount("championMastery.getAllChampionMasteries"), 1) << "read once, then cached";
  EXPECT_TRUE(Json(Read("/kiv-collections/v1/inventories/chest-eligibility")).HasMember("earnableChests"));

  rapidjson::Document skins = Json(Read(Inventories(kKestrel, "/ward-skins")));
  ASSERT_GT(skins.Size(), 2u);
  EXPECT_EQ(CallCount("wardSkins.requestSelectableWardSkins"), 0) << "filled at login";
  EXPECT_NE(Read(Inventories(kKestrel, "/ward-skins/2")).find(R"("owned":true)"), std::string::npos);
  EXPECT_EQ(Get(Inventories(kKestrel, "/ward-skins/9999")),
            R"(404 {"httpStatus":404,"message":"No available ward skin with id 9999"})");
  rapidjson::Document backdrop = Json(Read(Inventories(kKestrel, "/backdrop")));
  EXPECT_EQ(backdrop["summonerId"].GetUint64(), kKestrel);
  EXPECT_STRNE(backdrop["backdropType"].GetString(), "");

  // ---- 3. save and select: rename and select a rune page, save the books
  // back, create and delete a mastery page; each write is published.
  mark = events_->Mark();
  const std::string renamed = R"({"current":false,"id":)" + std::to_string(second_page) +
                              R"(,"name":"Renamed over HTTP","runes":[]})";
  EXPECT_EQ(Call("PUT", Inventories(kKestrel, "/rune-book/pages/" + std::to_string(second_page)), renamed)
                .substr(0, 4),
            "200 ");
  EXPECT_EQ(Call("PUT", Inventories(kKestrel, "/rune-book/select-page/" + std::to_string(second_page)))
                .substr(0, 4),
            "200 ");
  book = Json(Read(Inventories(kKestrel, "/rune-book")));
  EXPECT_STREQ(book["pages"][1]["name"].GetString(), "Renamed over HTTP");
  EXPECT_TRUE(book["pages"][1]["current"].GetBool());
  EXPECT_FALSE(book["pages"][0]["current"].GetBool());
  EXPECT_TRUE(events_->WaitFor(Event(Inventories(kKestrel, "/rune-book")), mark));
  EXPECT_EQ(Call("PUT", Inventories(kKestrel, "/rune-book"), Read(Inventories(kKestrel, "/rune-book")))
                .substr(0, 4),
            "200 ");
  EXPECT_EQ(Call("PUT", Inventories(kKestrel, "/verification"), R"("CODE-42")").substr(0, 3), "200");

  const std::string created = Call("PUT", Inventories(kKestrel, "/mastery-book/pages"),
                                   R"({"name":"Fresh","current":false,"masteries":[]})");
  ASSERT_EQ(created.substr(0, 4), "200 ") << created;
  const unsigned created_id = Json(created.substr(4))["id"].GetUint();
  EXPECT_EQ(Call("PUT", Inventories(kKestrel, "/mastery-book"), Read(Inventories(kKestrel, "/mastery-book")))
                .substr(0, 4),
            "200 ");
  EXPECT_EQ(Call("DELETE", Inventories(kKestrel, "/mastery-book/pages/" + std::to_string(created_id))),
            "204 ");
  EXPECT_TRUE(events_->WaitFor(Event(Inventories(kKestrel, "/mastery-book")), mark));

  // ---- 4. champion mastery off and on.
  Sim("platform-config", R"({"namespace":"ChampionMasteryConfig","key":"Enabled","value":false})");
  EXPECT_EQ(Get(Inventories(kKestrel, "/champion-mastery")),
            R"(503 {"httpStatus":503,"message":"The champion mastery service is not available."})");
  EXPECT_EQ(Get("/kiv-collections/v1/inventories/chest-eligibility"),
            R"(503 {"httpStatus":503,"message":"The champion mastery service is not available."})");
  Sim("platform-config", R"({"namespace":"ChampionMasteryConfig","key":"Enabled","value":true})");
  EXPECT_EQ(Json(Read(Inventories(kKestrel, "/champion-mastery"))).Size(), champions.Size());

  // ---- 5. every backend notification: its resource events and calls.
  struct Push {
    const char* control;
    std::string body;
    std::vector<std::string> events;  // published URIs, in order
    std::vector<std::string> calls;   // made at least once
  };
  const Push pushes[] = {
      {"grant",
       R"({"inventoryType":"WARD_SKIN","itemId":3})",
       {Inventories(kKestrel, "/ward-skins"), Inventories(kKestrel, "/ward-skins/3")},
       {"wardSkins.requestSelectableWardSkins", "GET /kiv-game-data/assets/v1/ward-skins.json"}},
      {"grant",
       R"({"inventoryType":"SPELL_BOOK_PAGE","itemId":0})",
       {Inventories(kKestrel, "/rune-book")},
       {}},
      {"grant",
       R"({"inventoryType":"RUNE","itemId":5001,"quantity":2,"rental":true})",
       {Inventories(kKestrel, "/runes")},
       {"summonerRuneService.getSummonerRuneInventory"}},
      {"grant",
       R"({"inventoryType":"SUMMONER_ICON","itemId":4001})",
       {Inventories(kKestrel, "/summoner-icons"),
        "/kiv-collections/v2/inventories/" + std::to_string(kKestrel) + "/summoner-icons/4001"},
       {"summonerIconService.getSummonerIconInventory"}},
      {"champion-mastery",
       R"({"championId":42,"championLevel":7,"championPoints":250000})",
       {Inventories(kKestrel, "/champion-mastery")},
       {"championMastery.getChampionMastery"}},
      {"chest-eligibility",
       R"({"earnableChests":3,"maximumChests":4})",
       {"/kiv-collections/v1/inventories/chest-eligibility"},
       {"championMastery.getChampionMasteryScoreAndChest"}},
  };
  for (const Push& push : pushes) {
    ClearCalls();
    mark = events_->Mark();
    Sim(push.control, push.body);
    size_t at = mark;
    for (const std::string& uri : push.events) {
      ASSERT_TRUE(events_->WaitFor(Event(uri), at)) << push.body << ": no event for " << uri << "\n"
                                                    << events_->Since(mark);
      at = events_->Since(0).find(Event(uri), at) + 1;  // the next one comes after it
    }
    for (const std::string& call : push.calls) EXPECT_GE(CallCount(call), 1) << push.body << ": " << call;
  }
  EXPECT_NE(Read(Inventories(kKestrel, "/ward-skins/3")).find(R"("owned":true)"), std::string::npos);
  EXPECT_NE(Read("/kiv-collections/v2/inventories/" + std::to_string(kKestrel) + "/summoner-icons/4001")
                .find(R"("owned":true)"),
            std::string::npos);
  EXPECT_NE(Read(Inventories(kKestrel, "/champion-mastery")).find(R"("championPoints":250000)"),
            std::string::npos);
  EXPECT_NE(Read("/kiv-collections/v1/inventories/chest-eligibility").find(R"("earnableChests":3)"),
            std::string::npos);
  EXPECT_TRUE(Logged("CollectionPlugins: Received 'championMastery' message for champion 42."));
  EXPECT_TRUE(Logged("CollectionPlugins: Received 'championMasteryLootGrant' message."));

  // A profile icon with a backdrop of its own, then new recent games: the
  // backdrop is republished each time.
  mark = events_->Mark();
  Sim("backdrop-assets", R"({"iconId":4001,"webm":true,"jpg":false})");
  Sim("profile-icon", R"({"iconId":4001})");
  ASSERT_TRUE(
      events_->WaitFor(R"("backdropVideo":"/kiv-game-data/assets/v1/summoner-backdrops/4001.webm")", mark));
  EXPECT_NE(Read(Inventories(kKestrel, "/backdrop")).find(R"("backdropType":"summoner-icon")"),
            std::string::npos);

  // ---- 6. disconnect and reconnect: the cache check runs.
  Sim("disconnect");
  Sim("reconnect");
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (!Logged("Checking collections caches after reconnect.") &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_TRUE(Logged("Checking collections caches after reconnect."));

  // ---- 7. a second summoner on the same client sees only their own data.
  Sim("logout");
  EXPECT_EQ(Get(Inventories(kKestrel, "/ward-skins")),
            R"(403 {"httpStatus":403,"message":"Data can only be retrieved by a logged-in summoner."})");
  mark = events_->Mark();
  Sim("login", R"({"summonerId":)" + std::to_string(kBramble) + "}");
  ASSERT_TRUE(events_->WaitFor(Event(Inventories(kBramble, "/ward-skins")), mark)) << events_->Since(mark);
  ASSERT_TRUE(events_->WaitFor(Event(Inventories(kBramble, "/runes")), mark));
  EXPECT_EQ(events_->Since(mark).find(std::to_string(kKestrel)), std::string::npos)
      << "nothing of the first summoner is published after the switch";

  EXPECT_EQ(Get(Inventories(kKestrel, "/ward-skins")),
            R"(403 {"httpStatus":403,"message":"Data can only be retrieved for the logged-in summoner."})");
  skins = Json(Read(Inventories(kBramble, "/ward-skins")));
  std::vector<int64_t> owned;
  for (const auto& skin : skins.GetArray()) {
    if (skin["ownership"]["owned"].GetBool()) owned.push_back(skin["id"].GetInt64());
  }
  EXPECT_EQ(owned, (std::vector<int64_t>{1, 3})) << "the second summoner's own skins";
  book = Json(Read(Inventories(kBramble, "/rune-book")));
  EXPECT_EQ(book["summonerId"].GetUint64(), kBramble);
  EXPECT_EQ(Read(Inventories(kBramble, "/rune-book")).find("Renamed over HTTP"), std::string::npos);
  EXPECT_EQ(Read(Inventories(kBramble, "/runes")).find(std::to_string(kKestrel)), std::string::npos);
  const rapidjson::Document bramble_masteries = Json(Read(Inventories(kBramble, "/champion-mastery")));
  for (const auto& mastery : bramble_masteries.GetArray()) {
    EXPECT_EQ(mastery["playerId"].GetUint64(), kBramble);
  }
  EXPECT_EQ(Json(Read(Inventories(kBramble, "/backdrop")))["summonerId"].GetUint64(), kBramble);
  EXPECT_EQ(Json(Read(Inventories(kBramble, "/summoner-icons")))["summonerId"].GetUint64(), kBramble);
  EXPECT_EQ(Call("PUT", Inventories(kKestrel, "/rune-book/select-page/" + std::to_string(second_page)))
                .substr(0, 3),
            "403");
}

}  // namespace
