#include "host/event_stream.h"

#include <algorithm>

#include "host/detail/world_io.h"
#include "host/host_value.h"

std::string kiv::host::FormatServerSentEvent(std::string_view name, const HostValue& payload) {
  std::string data;
  const HostValue* uri = detail::FindMember(payload, "uri");
  const HostValue* type = detail::FindMember(payload, "eventType");
  const HostValue* body = detail::FindMember(payload, "data");
  if (uri != nullptr && type != nullptr && body != nullptr && payload.data.seq.count == 3) {
    data =
        "{\"uri\":" + ToJson(*uri) + ",\"eventType\":" + ToJson(*type) + ",\"data\":" + ToJson(*body) + "}";
  } else {
    data = ToJson(payload);
  }
  // The JSON writer escapes line ends inside texts, so the data is one line.
  return "event: " + std::string(name) + "\ndata: " + data + "\n\n";
}

std::shared_ptr<kiv::host::EventStream::Follower> kiv::host::EventStream::Follow(std::string name) {
  auto follower = std::make_shared<Follower>(std::move(name));
  std::lock_guard lock(mutex_);
  if (closed_) {
    follower->End();
  } else if (followers_.size() >= kMaxFollowers) {
    return nullptr;
  } else {
    followers_.push_back(follower);
  }
  return follower;
}

void kiv::host::EventStream::Unfollow(const std::shared_ptr<Follower>& follower) {
  std::lock_guard lock(mutex_);
  std::erase(followers_, follower);
}

void kiv::host::EventStream::Publish(std::string_view name, const HostValue& payload) {
  std::vector<std::shared_ptr<Follower>> targets;
  {
    std::lock_guard lock(mutex_);
    for (const auto& f : followers_) {
      if (f->name() == "*" || f->name() == name) targets.push_back(f);
    }
  }
  if (targets.empty()) return;
  const std::string message = FormatServerSentEvent(name, payload);
  for (const auto& f : targets) f->Push(message);
}

void kiv::host::EventStream::Close() {
  std::vector<std::shared_ptr<Follower>> all;
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    all.swap(followers_);
  }
  for (const auto& f : all) f->End();
}

void kiv::host::EventStream::Follower::Push(const std::string& message) {
  {
    std::lock_guard lock(mutex_);
    if (ended_) return;
    // A client that reads slower than events come is cut off rather than
    // letting its queue grow without bound.
    if (queued_bytes_ + message.size() > kMaxQueuedBytes) {
      ended_ = true;
      queue_.clear();
      queued_bytes_ = 0;
    } else {
      queue_.push_back(message);
      queued_bytes_ += message.size();
    }
  }
  ready_.notify_all();
}

void kiv::host::EventStream::Follower::End() {
  {
    std::lock_guard lock(mutex_);
    ended_ = true;
  }
  ready_.notify_all();
}

std::optional<std::string> kiv::host::EventStream::Follower::Next(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  ready_.wait_for(lock, timeout, [&] { return ended_ || !queue_.empty(); });
  if (ended_) return std::nullopt;
  std::string out;
  while (!queue_.empty()) {
    out += queue_.front();
    queue_.pop_front();
  }
  queued_bytes_ = 0;
  return out;
}
