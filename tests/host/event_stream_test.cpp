// The event stream's fan-out: names followed, the shape of each event, and
// a follower that stops reading being cut off instead of holding events.
#include "host/event_stream.h"

#include <gtest/gtest.h>

#include <chrono>

#include "host/host_value.h"

namespace {

using kiv::host::EventStream;
using kiv::host::OwnedValue;
using namespace std::chrono_literals;

TEST(EventStream, HandsEachFollowerTheEventsOfItsName) {
  EventStream stream;
  auto resources = stream.Follow("OnJsonApiEvent");
  auto everything = stream.Follow("*");
  const OwnedValue resource = OwnedValue::Object({{"data", OwnedValue::Signed(1)},
                                                  {"eventType", OwnedValue::Text("Update")},
                                                  {"uri", OwnedValue::Text("/a")}});
  stream.Publish("OnJsonApiEvent", resource.get());
  stream.Publish("OnOther", OwnedValue::Array({OwnedValue::Text("x\ny")}).get());
  EXPECT_EQ(resources->Next(0ms),
            "event: OnJsonApiEvent\ndata: {\"uri\":\"/a\",\"eventType\":\"Update\",\"data\":1}\n\n");
  EXPECT_EQ(everything->Next(0ms),
            "event: OnJsonApiEvent\ndata: {\"uri\":\"/a\",\"eventType\":\"Update\",\"data\":1}\n\n"
            "event: OnOther\ndata: [\"x\\ny\"]\n\n");
  EXPECT_EQ(resources->Next(1ms), "");  // nothing new: an empty text, not the end
  stream.Unfollow(resources);
  stream.Publish("OnJsonApiEvent", resource.get());
  EXPECT_EQ(resources->Next(0ms), "");
  stream.Close();
  EXPECT_EQ(everything->Next(1s), std::nullopt);
  EXPECT_EQ(stream.Follow("*")->Next(0ms), std::nullopt);
}

TEST(EventStream, CutsOffAFollowerThatFallsTooFarBehind) {
  EventStream stream;
  auto slow = stream.Follow("*");
  const OwnedValue payload = OwnedValue::Text(std::string(1000, 'x'));
  const size_t event_size = kiv::host::FormatServerSentEvent("OnTick", payload.get()).size();
  for (size_t queued = 0; queued + event_size <= EventStream::kMaxQueuedBytes; queued += event_size)
    stream.Publish("OnTick", payload.get());
  auto fresh = stream.Follow("*");
  stream.Publish("OnTick", payload.get());  // one too many for the slow one
  EXPECT_EQ(slow->Next(0ms), std::nullopt);
  EXPECT_EQ(fresh->Next(0ms)->size(), event_size);
}

}  // namespace
