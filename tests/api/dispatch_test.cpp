// End to end through the request entry: a small API registered with several
// handler forms, driven only by hand-built HostRequest records, the way a
// host drives it; and what the plug-in writes into a HostResponse, which
// its release must free exactly (the AddressSanitizer run checks that).
#include "api/dispatch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "api/binding_api.h"
#include "api/response_writer.h"
#include "binding/host_value_conversion.h"
#include "binding/json_reader.h"
#include "binding/json_writer.h"
#include "binding/maybe_type.h"
#include "binding/msgpack_reader.h"
#include "binding/yaml_reader.h"

namespace {

using Quarn::Maybe;

struct Item {
  uint64_t id = 0;
  std::string name;
  std::vector<std::string> tags;
};

struct Filter {
  std::vector<std::string> names;
  uint32_t limit = 0;
};

// What the host sees of a response, read before release.
struct Reply {
  uint32_t status = 0, content_kind = 0, body_tag = 0;
  uint8_t format = 0, error_owned = 0;
  std::string error = {};  // "" when none
  std::string body = {};   // the body HostValue written as compact JSON
  std::string content_type = {};
  std::vector<std::pair<std::string, std::string>> headers = {};
};

// The body as compact JSON, through the binding library's own reading of
// HostValue records.
std::string BodyJson(const HostValue& value) {
  Quarn::BindingProperty body;
  std::string error;
  if (!Quarn::FromHostValue(body, value, "body", error)) return "? " + error;
  const std::string json = Quarn::ToJson(body);
  return json.empty() ? "null" : json;
}

// A request as a host sends it; a non-empty body is passed exactly sized,
// without a terminator, so reading past its length is caught.
struct Request {
  uint32_t method;
  std::string path;
  std::string content_type = {};
  std::string body = {};
  std::vector<std::pair<std::string, std::string>> pairs = {};
  std::vector<HostTypedArgument> typed = {};
};

std::string MsgPackError(std::string_view bytes) {
  return std::string(
      Quarn::ReadMsgPack(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()).result.ErrorMessage());
}

class TextStream final : public Quarn::BodyStream {
 public:
  TextStream(std::string text, int* alive) : text_(std::move(text)), alive_(alive) { ++*alive_; }
  ~TextStream() override { --*alive_; }
  bool Read(char* buffer, uint32_t& size, bool& more) override {
    const size_t n = std::min<size_t>(size, text_.size() - pos_);
    std::memcpy(buffer, text_.data() + pos_, n);
    pos_ += n;
    size = static_cast<uint32_t>(n);
    more = pos_ < text_.size();
    return true;
  }
  uint32_t Length() const override { return static_cast<uint32_t>(text_.size()); }

 private:
  std::string text_;
  size_t pos_ = 0;
  int* alive_;
};

class DispatchTest : public ::testing::Test {
 protected:
  DispatchTest() {
    auto& registry = api_.registry();
    registry.Structure<Item>("Item").Field("id", &Item::id).Field("name", &Item::name).Field("tags", &Item::tags);
    registry.Structure<Filter>("Filter").Field("names", &Filter::names).Field("limit", &Filter::limit);

    api_.Get("/v1/items/{itemId}",
             [this](uint64_t id) -> Maybe<Item> {
               ++calls_;
               if (id == 404) return Quarn::NotFound();
               return Item{id, "item" + std::to_string(id), {}};
             })
        .Path("itemId", "The item.");
    api_.Put("/v1/items/{itemId}/",
             [this](uint64_t id, Item item) -> Maybe<Item> {
               ++calls_;
               item.id = id;
               return item;
             })
        .Path("itemId")
        .Body("item");
    api_.Delete("/v1/items/{itemId}", [this](uint64_t) -> Maybe<void> { ++calls_; return {}; })
        .Path("itemId");
    api_.Get("/v1/items",
             [this](std::optional<uint32_t> limit, std::optional<std::string> sort_rule,
                    bool enabled) -> Maybe<std::string> {
               ++calls_;
               return std::to_string(limit.value_or(0)) + "|" + sort_rule.value_or("-") + "|" +
                      (enabled ? "on" : "off");
             })
        .Query("limit")
        .Query("sortRule")
        .Query("enabled");
    api_.Get("/v1/search", [this](Filter filter) -> Maybe<Filter> { ++calls_; return filter; }).Query("filter");
    api_.Get("/v1/mode", [this](std::optional<std::string> mode) -> Maybe<std::string> {
          ++calls_;
          return mode.value_or("none");
        }).Header("Mode");
    api_.Post("/v1/sum/{a}", [this](int32_t a, int32_t b) -> Maybe<int64_t> { ++calls_; return int64_t{a} + b; })
        .Path("a")
        .Any("b");
    api_.Get("/rich", [this](Quarn::RequestContext& context) -> Maybe<std::string> {
      context.call->status = 201;
      context.call->format = 3;
      context.call->content_kind = kind_;
      context.call->content_type = "text/csv";
      context.call->headers = {{"x-one", "1"}, {"x-two", "2"}};
      if (stream_) context.call->stream = std::make_unique<TextStream>("a,b\n1,2\n", &streams_alive_);
      return std::string("body");
    });
    api_.Get("/conflict", []() -> Maybe<int32_t> { return Quarn::Failure("Page limit reached", 409); });
    api_.Get("/throws", []() -> Maybe<int32_t> { throw std::runtime_error("boom"); });
  }

  // The response as written; the caller releases it.
  HostResponse Raw(const std::string& function_name, const Request& r) {
    HostResponse response;
    std::memset(&response, 0xAB, sizeof(response));  // the entry must not read old content
    const Quarn::BindingFunction* function = api_.FindFunction(function_name);
    EXPECT_NE(function, nullptr) << function_name;
    if (function == nullptr) return HostResponse{};
    std::vector<HostNameValue> pairs;
    for (const auto& [name, value] : r.pairs) pairs.push_back({name.c_str(), value.c_str()});
    const std::vector<uint8_t> bytes(r.body.begin(), r.body.end());
    HostRequest request{};
    request.method = r.method;
    request.path = r.path.c_str();
    request.arguments = r.typed.empty() ? nullptr : r.typed.data();
    request.argument_count = static_cast<uint32_t>(r.typed.size());
    request.pairs = pairs.empty() ? nullptr : pairs.data();
    request.pair_count = static_cast<uint32_t>(pairs.size());
    request.content_type = r.content_type.c_str();
    if (!bytes.empty()) {
      request.body = bytes.data();
      request.body_length = static_cast<uint32_t>(bytes.size());
    }
    Quarn::DispatchRequest(api_, *function, response, request);
    return response;
  }

  Reply Call(const std::string& function_name, const Request& r) {
    HostResponse response = Raw(function_name, r);
    // Packed fields are copied before gtest takes references to them.
    Reply reply{response.status, response.content_kind, response.body.tag, response.format, response.error_owned};
    if (response.error != nullptr) reply.error = response.error;
    if (response.error == nullptr) reply.body = BodyJson(response.body);
    if (response.content_type != nullptr) reply.content_type = response.content_type;
    for (uint32_t i = 0; i < response.header_count; ++i) {
      reply.headers.emplace_back(response.headers[i].name, response.headers[i].value);
    }
    const HostResponseReleaseFn release = response.release;
    EXPECT_NE(release, nullptr);
    if (release != nullptr) release(&response);
    const HostResponse zero{};
    EXPECT_EQ(std::memcmp(&response, &zero, sizeof(response)), 0) << "release zeroes the record";
    return reply;
  }

  Quarn::BindingApi api_;
  int calls_ = 0;
  uint32_t kind_ = 2;
  bool stream_ = false;
  int streams_alive_ = 0;
};

TEST_F(DispatchTest, RegistrationDropsOneTrailingSlashAndIgnoresDuplicates) {
  const size_t count = api_.functions().size();
  EXPECT_EQ(api_.FindFunction("PutV1ItemsByItemId")->path(), "/v1/items/{itemId}");
  auto builder =
      api_.Get("/v1/items/{itemId}/", [](std::string) -> Maybe<void> { return {}; }).Path("other", "ignored");
  EXPECT_EQ(builder.function(), nullptr);
  EXPECT_EQ(api_.functions().size(), count);
  EXPECT_EQ(api_.FindFunction("GetV1ItemsByItemId")->arguments()[0].name, "itemId");
  auto nothing = []() -> Maybe<void> { return {}; };
  EXPECT_EQ(api_.Put("/", nothing).function()->path(), "/");
  EXPECT_EQ(api_.Post("/y//", nothing).function()->path(), "/y/");
}

TEST_F(DispatchTest, AnswersSuccessfulCalls) {
  HostTypedArgument unnamed{};
  unnamed.value.tag = KIV_VALUE_SIGNED;
  unnamed.value.data.i64 = 40;
  HostTypedArgument named = unnamed;
  named.name = "b";
  const std::string nul_body = std::string(R"({"name":"nul"})") + '\0' + "trailing junk";
  const struct {
    std::string function;
    Request request;
    std::string body;
  } cases[] = {
      {"GetV1ItemsByItemId", {KIV_METHOD_GET, "/v1/items/7"}, R"({"id":7,"name":"item7","tags":[]})"},
      {"GetV1ItemsByItemId", {KIV_METHOD_GET, "/v1/items/0x10?"}, R"({"id":16,"name":"item16","tags":[]})"},
      {"PutV1ItemsByItemId",
       {KIV_METHOD_PUT, "/v1/items/3", "application/json", R"({"name":"n","tags":["a","b"],"id":9})"},
       R"({"id":3,"name":"n","tags":["a","b"]})"},
      {"PutV1ItemsByItemId",
       {KIV_METHOD_PUT, "/v1/items/3", "Application/VND.api+json; charset=utf-8", R"({"name":"v"})"},
       R"({"id":3,"name":"v","tags":[]})"},
      // Text bodies end at their first NUL.
      {"PutV1ItemsByItemId", {KIV_METHOD_PUT, "/v1/items/1", "application/json", nul_body},
       R"({"id":1,"name":"nul","tags":[]})"},
      {"PutV1ItemsByItemId", {KIV_METHOD_PUT, "/v1/items/4", "application/x-yaml", "name: yml\ntags: [p]\n"},
       R"({"id":4,"name":"yml","tags":["p"]})"},
      // fixmap {"name": "m"}
      {"PutV1ItemsByItemId", {KIV_METHOD_PUT, "/v1/items/5", "application/x-msgpack", "\x81\xA4name\xA1m"},
       R"({"id":5,"name":"m","tags":[]})"},
      {"DeleteV1ItemsByItemId", {KIV_METHOD_DELETE, "/v1/items/12"}, "null"},
      {"GetV1Items", {KIV_METHOD_GET, "/v1/items"}, R"("0|-|off")"},
      {"GetV1Items", {KIV_METHOD_GET, "/v1/items?limit=3&sortRule=x"}, R"("3|x|off")"},
      {"GetV1Items", {KIV_METHOD_GET, "/v1/items?enabled&limit=1&limit=2"}, R"("2|-|on")"},
      {"GetV1Items", {KIV_METHOD_GET, "/v1/items?sortRule=a+b%26c&enabled=false&"}, R"("0|a b&c|off")"},
      {"GetV1Search",
       {KIV_METHOD_GET, "/v1/search?filter.names.0=a&filter.names.0x2=c&filter.limit=5&filter.names.01=b"},
       R"({"limit":5,"names":["a","b","c"]})"},
      {"GetV1Search", {KIV_METHOD_GET, "/v1/search?filter=%7B%22limit%22%3A2%7D"}, R"({"limit":2,"names":[]})"},
      {"GetV1Search", {KIV_METHOD_GET, "/v1/search?filter=---%0Alimit%3A+4"}, R"({"limit":4,"names":[]})"},
      {"GetV1Search", {KIV_METHOD_GET, "/v1/search?filter"}, R"({"limit":0,"names":[]})"},
      // A MessagePack map header as the first byte: {"limit": 3}
      {"GetV1Search", {KIV_METHOD_GET, "/v1/search?filter=%81%A5limit%03"}, R"({"limit":3,"names":[]})"},
      {"GetV1Mode", {KIV_METHOD_GET, "/v1/mode", "", "", {{"Mode", "upper"}, {"mode", "lower"}}}, R"("lower")"},
      {"GetV1Mode", {KIV_METHOD_GET, "/v1/mode", "", "", {{"Mode", "upper"}}}, R"("none")"},
      // A body is ignored by a function without a body argument.
      {"GetV1Mode", {KIV_METHOD_GET, "/v1/mode", "text/plain", "x"}, R"("none")"},
      // Typed arguments count after the path arguments, by position or name.
      {"PostV1SumByA", {KIV_METHOD_POST, "/v1/sum/2", "", "", {}, {unnamed}}, "42"},
      {"PostV1SumByA", {KIV_METHOD_POST, "/v1/sum/2", "", "", {}, {named}}, "42"},
      {"PostV1SumByA", {KIV_METHOD_POST, "/v1/sum/-5?b=7"}, "2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.request.path);
    const Reply reply = Call(c.function, c.request);
    EXPECT_EQ(reply.error, "");
    EXPECT_EQ(reply.status, 0u);
    EXPECT_EQ(reply.body, c.body);
    EXPECT_EQ(reply.content_type, "");
  }
}

TEST_F(DispatchTest, ReportsEachFailureWithItsTextAndStatus) {
  HostTypedArgument unnamed{};
  unnamed.value.tag = KIV_VALUE_SIGNED;
  HostTypedArgument unknown = unnamed;
  unknown.name = "zzz";
  const std::string put = "PutV1ItemsByItemId", search = "GetV1Search";
  const struct {
    std::string function;
    Request request;
    std::string error;
    uint32_t status;
  } cases[] = {
      {"GetV1ItemsByItemId", {KIV_METHOD_PUT, "/v1/items/7"}, "Invalid function", 404},
      {"GetV1ItemsByItemId", {KIV_METHOD_GET, "/v1/items/7/x"}, "Invalid function", 404},
      {"GetV1ItemsByItemId", {KIV_METHOD_GET, "/v1/items/404"}, "Not found", 404},
      {"GetV1ItemsByItemId", {KIV_METHOD_GET, "/v1/items/7?itemId=3"},
       "Argument 'itemId' for 'GetV1ItemsByItemId' was specified in an invalid location.", 0},
      {"GetV1Items", {KIV_METHOD_GET, "/v1/items?bogus=1&limit=2"}, "Unknown argument 'bogus' for 'GetV1Items'.", 0},
      {"GetV1Items", {KIV_METHOD_GET, "/v1/items?limit="}, "Expected value for argument 'limit'.", 0},
      {search, {KIV_METHOD_GET, "/v1/search?filter.names.1z=a"}, "Index 1z is in an incorrect format", 0},
      // Far below 2^31: one pair must not allocate millions of elements.
      {search, {KIV_METHOD_GET, "/v1/search?filter.names.65536=a"}, "Index 65536 is out of range", 0},
      {search, {KIV_METHOD_GET, "/v1/search?filter.names.2147483648=a"}, "Index 2147483648 is out of range", 0},
      {search, {KIV_METHOD_GET, "/v1/search?filter.names.99999999999999999999=a"},
       "Index 99999999999999999999 is out of range", 0},
      {search, {KIV_METHOD_GET, "/v1/search?filter=%7Bx"},
       "Couldn't deserialize JSON value for parameter 'filter' of 'GetV1Search': " +
           std::string(Quarn::FromJson("{x").ErrorMessage()), 0},
      {search, {KIV_METHOD_GET, "/v1/search?filter=%91%C1"},
       "Couldn't deserialize MessagePack value for parameter 'filter' of 'GetV1Search': " +
           MsgPackError("\x91\xC1"), 0},
      {search, {KIV_METHOD_GET, "/v1/search?filter=---%0A%5B"},
       "Couldn't deserialize YAML value for parameter 'filter' of 'GetV1Search': " +
           std::string(Quarn::ReadYaml("---\n[").ErrorMessage()), 0},
      {"GetV1Mode", {KIV_METHOD_GET, "/v1/mode?Mode=x"},
       "Argument 'Mode' for 'GetV1Mode' was specified in an invalid location.", 0},
      {put, {KIV_METHOD_PUT, "/v1/items/1", "text/plain", "{}"}, "Unsupported body content type", 0},
      {put, {KIV_METHOD_PUT, "/v1/items/1", "application/x-msgpack", "\x80\x01"}, "Extra MessgePack data found in body", 0},
      {put, {KIV_METHOD_PUT, "/v1/items/1", "application/x-msgpack", "\x91\xC1"}, MsgPackError("\x91\xC1"), 0},
      {put, {KIV_METHOD_PUT, "/v1/items/1", "application/json", "[1,]"},
       std::string(Quarn::FromJson("[1,]").ErrorMessage()), 0},
      // The body step runs after a failed query pass and its failure wins.
      {put, {KIV_METHOD_PUT, "/v1/items/1?x=1", "text/plain", "{}"}, "Unsupported body content type", 0},
      {"PostV1SumByA", {KIV_METHOD_POST, "/v1/sum/1", "", "", {}, {unknown}},
       "Unknown argument 'zzz' for 'PostV1SumByA'.", 0},
      {"PostV1SumByA", {KIV_METHOD_POST, "/v1/sum/1", "", "", {}, {unnamed, unnamed}},
       "Unknown argument '2' for 'PostV1SumByA'.", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.request.path);
    calls_ = 0;
    const Reply reply = Call(c.function, c.request);
    EXPECT_EQ(reply.error, c.error);
    EXPECT_EQ(reply.status, c.status);
    EXPECT_EQ(calls_, c.error == "Not found" ? 1 : 0) << "only the handler's own failure runs it";
  }
}

TEST_F(DispatchTest, ResponseCarriesStatusFormatContentTypeAndHeaders) {
  Reply reply = Call("GetRich", {KIV_METHOD_GET, "/rich"});
  EXPECT_EQ(reply.status, 201u);
  EXPECT_EQ(reply.format, 3);
  EXPECT_EQ(reply.content_kind, 2u);
  EXPECT_EQ(reply.content_type, "text/csv");
  EXPECT_EQ(reply.headers, (std::vector<std::pair<std::string, std::string>>{{"x-one", "1"}, {"x-two", "2"}}));
  EXPECT_EQ(reply.error, "");
  EXPECT_EQ(reply.body_tag, uint32_t{KIV_VALUE_TEXT_OWNED});
  EXPECT_EQ(reply.body, R"("body")");
  kind_ = 7;  // only 1, 2 and 3 are passed on
  EXPECT_EQ(Call("GetRich", {KIV_METHOD_GET, "/rich"}).content_kind, 0u);

  // A handler's failure carries its status and an owned text.
  reply = Call("GetConflict", {KIV_METHOD_GET, "/conflict"});
  EXPECT_EQ(reply.status, 409u);
  EXPECT_EQ(reply.error, "Page limit reached");
  EXPECT_EQ(reply.error_owned, 1);
  EXPECT_EQ(reply.content_type, "");
  // An exception from a handler becomes the ready-made 500.
  reply = Call("GetThrows", {KIV_METHOD_GET, "/throws"});
  EXPECT_EQ(reply.status, 500u);
  EXPECT_EQ(reply.error, "Internal server error");
}

TEST_F(DispatchTest, StreamIsReadThroughTheResponseAndFreedOnce) {
  stream_ = true;
  HostResponse response = Raw("GetRich", {KIV_METHOD_GET, "/rich"});
  EXPECT_EQ(streams_alive_, 1);
  const uint32_t expected = response.expected_length;
  EXPECT_EQ(expected, 8u);
  std::string read;
  uint8_t more = 1;
  while (more) {
    char buffer[3];
    uint32_t size = sizeof(buffer);
    ASSERT_EQ(response.stream_read(response.stream_context, buffer, &size, &more), 1);
    read.append(buffer, size);
  }
  EXPECT_EQ(read, "a,b\n1,2\n");
  response.stream_close(response.stream_context);
  EXPECT_EQ(streams_alive_, 0);
  // A read after close fails instead of touching freed memory.
  char buffer[4];
  uint32_t size = sizeof(buffer);
  EXPECT_EQ(response.stream_read(response.stream_context, buffer, &size, &more), 0);
  response.release(&response);
  EXPECT_EQ(streams_alive_, 0);

  // Never read nor closed: release frees the stream.
  response = Raw("GetRich", {KIV_METHOD_GET, "/rich"});
  EXPECT_EQ(streams_alive_, 1);
  response.release(&response);
  EXPECT_EQ(streams_alive_, 0);
  // Null and zeroed records are ignored.
  Quarn::ReleaseResponse(nullptr);
  HostResponse zero{};
  Quarn::ReleaseResponse(&zero);
  const HostResponse expected_zero{};
  EXPECT_EQ(std::memcmp(&zero, &expected_zero, sizeof(zero)), 0);
}

}  // namespace
