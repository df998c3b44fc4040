// What the plug-in writes into a HostResponse and that its release frees
// exactly that (the AddressSanitizer run checks the freeing).
#include "api/response_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "api/binding_api.h"
#include "api/dispatch.h"

namespace {

using Quarn::Maybe;

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

class ResponseWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
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

  HostResponse Dispatch(const char* path) {
    HostRequest request{};
    request.method = KIV_METHOD_GET;
    request.path = path;
    HostResponse response{};
    const Quarn::BindingFunction* function = nullptr;
    for (const auto& f : api_.functions()) {
      if (f->path() == path) function = f.get();
    }
    EXPECT_NE(function, nullptr) << path;
    Quarn::DispatchRequest(api_, *function, response, request);
    return response;
  }

  Quarn::BindingApi api_;
  uint32_t kind_ = 2;
  bool stream_ = false;
  int streams_alive_ = 0;
};

TEST_F(ResponseWriterTest, CopiesStatusFormatContentTypeAndHeaders) {
  HostResponse response = Dispatch("/rich");
  const uint32_t status = response.status, kind = response.content_kind, count = response.header_count;
  const uint8_t format = response.format;
  EXPECT_EQ(status, 201u);
  EXPECT_EQ(format, 3);
  EXPECT_EQ(kind, 2u);
  EXPECT_STREQ(response.content_type, "text/csv");
  ASSERT_EQ(count, 2u);
  EXPECT_STREQ(response.headers[1].name, "x-two");
  EXPECT_STREQ(response.headers[1].value, "2");
  EXPECT_EQ(response.error, nullptr);
  const uint32_t tag = response.body.tag;
  EXPECT_EQ(tag, uint32_t{KIV_VALUE_TEXT_OWNED});
  EXPECT_STREQ(response.body.data.text, "body");
  response.release(&response);

  kind_ = 7;  // only 1, 2 and 3 are passed on
  response = Dispatch("/rich");
  const uint32_t other_kind = response.content_kind;
  EXPECT_EQ(other_kind, 0u);
  response.release(&response);
}

TEST_F(ResponseWriterTest, StreamIsReadThroughTheResponseAndFreedOnce) {
  stream_ = true;
  HostResponse response = Dispatch("/rich");
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
  response = Dispatch("/rich");
  EXPECT_EQ(streams_alive_, 1);
  response.release(&response);
  EXPECT_EQ(streams_alive_, 0);
}

TEST_F(ResponseWriterTest, HandlerFailuresCarryTheirStatus) {
  HostResponse response = Dispatch("/conflict");
  const uint32_t status = response.status;
  const uint8_t owned = response.error_owned;
  EXPECT_EQ(status, 409u);
  EXPECT_STREQ(response.error, "Page limit reached");
  EXPECT_EQ(owned, 1);
  EXPECT_STREQ(response.content_type, "");
  response.release(&response);

  // An exception from a handler becomes the ready-made 500.
  response = Dispatch("/throws");
  const uint32_t thrown_status = response.status;
  EXPECT_EQ(thrown_status, 500u);
  EXPECT_STREQ(response.error, "Internal server error");
  response.release(&response);
}

TEST(ResponseWriter, ReleaseIgnoresNullAndZeroedRecords) {
  Quarn::ReleaseResponse(nullptr);
  HostResponse zero{};
  Quarn::ReleaseResponse(&zero);
  const HostResponse expected{};
  EXPECT_EQ(std::memcmp(&zero, &expected, sizeof(zero)), 0);
}

}  // namespace
