// EventStream: hands the events published in a host loop to HTTP clients
// as Server-Sent Events. The loop's listener calls Publish, which formats
// the event once and queues it for each follower of its name without ever
// blocking; each follower's HTTP thread takes its queue with Next.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kiv/plugin_abi.h"

namespace kiv::host {

class EventStream {
 public:
  class Follower;

  // Follows events named `name` ("*": every event); null when
  // kMaxFollowers are open already. [any thread]
  std::shared_ptr<Follower> Follow(std::string name);
  void Unfollow(const std::shared_ptr<Follower>& follower);

  // Queues the event for every follower of its name. `payload` is borrowed
  // for the duration of the call. [any thread; never blocks on a follower]
  void Publish(std::string_view name, const HostValue& payload);

  // Ends every stream: Next returns nullopt from now on. [any thread]
  void Close();

  // A follower whose unread events grow past this many bytes is dropped.
  static constexpr size_t kMaxQueuedBytes = size_t{8} << 20;
  // Each follower holds an HTTP worker for as long as it follows.
  static constexpr size_t kMaxFollowers = 32;

 private:
  std::mutex mutex_;
  std::vector<std::shared_ptr<Follower>> followers_;
  bool closed_ = false;
};

class EventStream::Follower {
 public:
  explicit Follower(std::string name) : name_(std::move(name)) {}

  // The queued events as one text ("" when none came within `timeout`);
  // nullopt once the stream has ended (closed, or dropped for falling
  // behind). [any thread]
  std::optional<std::string> Next(std::chrono::milliseconds timeout);
  const std::string& name() const { return name_; }

 private:
  friend class EventStream;
  // REQUIRES: mutex_ not held.
  void Push(const std::string& message);
  void End();

  const std::string name_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::string> queue_;
  size_t queued_bytes_ = 0;
  bool ended_ = false;
};

// One Server-Sent Event: "event: <name>\ndata: <payload JSON>\n\n". A
// resource event's payload lists uri, eventType and data in that order.
std::string FormatServerSentEvent(std::string_view name, const HostValue& payload);

}  // namespace kiv::host
