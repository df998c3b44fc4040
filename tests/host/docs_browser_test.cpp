// A real browser against the developer host: headless Chromium renders
// /docs (Swagger UI over /openapi.json, everything served by the host) and
// opens a route's URL.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/host/serve_fixture.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

bool HaveChromium() { return std::system("command -v chromium >/dev/null 2>&1") == 0; }

// The DOM of `url` after its scripts ran, as headless Chromium dumps it.
std::string DumpDom(const std::string& url) {
  char profile[] = "/tmp/kiv-chromium-XXXXXX";
  if (mkdtemp(profile) == nullptr) return "mkdtemp failed";
  const std::string command =
      "(timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
      "--disable-background-networking --disable-component-update --disable-sync --disable-dev-shm-usage "
      "--virtual-time-budget=15000 --user-data-dir=" +
      std::string(profile) + " --dump-dom '" + url + "' 2>/dev/null)";
  std::string dom = kiv::test::RunCommand(command).output;
  std::error_code ignored;
  std::filesystem::remove_all(profile, ignored);
  return dom;
}

TEST(DocsInBrowser, RendersTheOperationsOfTheDescription) {
  if (!HaveChromium()) GTEST_SKIP() << "chromium is not installed; scripts/bootstrap.sh chromium installs it";
  if (!std::filesystem::exists(KIV_SOURCE_DIR "/build/web/node_modules/swagger-ui-dist/swagger-ui-bundle.js"))
    GTEST_SKIP() << "swagger-ui-dist is not installed; scripts/bootstrap.sh swagger-ui installs it";
  auto served = kiv::test::Serve(KIV_MINIMAL_PLUGIN_PATH, kiv::test::SmallWorld());
  ASSERT_TRUE(served);
  const std::string dom = DumpDom(served->server->url() + "/docs");
  // Swagger UI drew one block per operation, from the host's own files.
  EXPECT_THAT(dom, HasSubstr("kiv-minimal (ozm-be-kiv-minimal)"));
  EXPECT_THAT(dom, HasSubstr("data-path=\"/minimal/v1/echo/{rest}\""));
  EXPECT_THAT(dom, HasSubstr("data-path=\"/minimal/v1/relay\""));
  EXPECT_THAT(dom, HasSubstr("Echoes the path."));
  EXPECT_THAT(dom, HasSubstr("MinimalMood"));
  EXPECT_THAT(dom, Not(HasSubstr("Failed to load API definition")));
  // Nothing but the host's own files was asked for.
  for (const auto& line : served->Output()) {
    if (line.find(" 404 ") != std::string::npos || line.find(" 403 ") != std::string::npos)
      ADD_FAILURE() << "the page asked for something the host does not have: " << line;
  }
}

TEST(DocsInBrowser, OpensARoutesUrlAndGetsItsJson) {
  if (!HaveChromium()) GTEST_SKIP() << "chromium is not installed; scripts/bootstrap.sh chromium installs it";
  auto served = kiv::test::Serve(KIV_MINIMAL_PLUGIN_PATH, kiv::test::SmallWorld());
  ASSERT_TRUE(served);
  const std::string dom = DumpDom(served->server->url() + "/kiv-summoner/v1/current-summoner");
  EXPECT_THAT(dom, HasSubstr(R"({"summonerId":11,"accountId":1001,"summonerLevel":30,"profileIconId":7})"));
  const std::string echo = DumpDom(served->server->url() + "/minimal/v1/echo/page");
  EXPECT_THAT(echo, HasSubstr("\"echo:/minimal/v1/echo/page\""));
}

}  // namespace
