#include "diagnostics/log_record.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>

namespace {

constexpr size_t kMaxChannels = 64;
constexpr size_t kTagLength = 3;

struct ChannelTable {
  // Entries are written once, before count_ is raised past them, so readers
  // need no lock; the mutex only keeps two writers from taking one slot or
  // appending the same tag twice.
  std::array<std::array<char, kTagLength + 1>, kMaxChannels> tags{};
  std::atomic<size_t> count{0};
  std::mutex append_mutex;

  ChannelTable() {
    for (const char* tag : {"DBG", "GEN", "XTR", "PRF", "MEM", "DSK", "NET", "TST"}) {
      std::copy_n(tag, kTagLength, tags[count.load()].begin());
      count.fetch_add(1);
    }
  }

  // Index of `tag` among the first `limit` entries, or kMaxChannels.
  size_t Find(std::string_view tag, size_t limit) const {
    for (size_t i = 0; i < limit; ++i) {
      if (std::string_view(tags[i].data()) == tag) return i;
    }
    return kMaxChannels;
  }
};

ChannelTable& Channels() {
  static ChannelTable table;
  return table;
}

}  // namespace

const char* Quarn::LevelName(uint32_t level) {
  static constexpr const char* kNames[] = {"  OKAY", "  WARN", " ERROR", "ALWAYS"};
  return level < std::size(kNames) ? kNames[level] : "     ?";
}

uint64_t Quarn::ChannelBit(std::string_view tag) {
  tag = tag.substr(0, kTagLength);
  if (tag.empty()) return 0;
  ChannelTable& table = Channels();
  size_t index = table.Find(tag, table.count.load(std::memory_order_acquire));
  if (index == kMaxChannels) {
    std::lock_guard lock(table.append_mutex);
    size_t count = table.count.load(std::memory_order_acquire);
    index = table.Find(tag, count);
    if (index == kMaxChannels) {
      if (count == kMaxChannels) return 0;
      std::copy(tag.begin(), tag.end(), table.tags[count].begin());
      table.count.store(count + 1, std::memory_order_release);
      index = count;
    }
  }
  return uint64_t{1} << index;
}

std::string Quarn::ChannelTags(uint64_t mask) {
  const ChannelTable& table = Channels();
  const size_t count = table.count.load(std::memory_order_acquire);
  std::string tags;
  for (size_t i = 0; i < count; ++i) {
    if ((mask & (uint64_t{1} << i)) == 0) continue;
    if (!tags.empty()) tags += ';';
    tags += table.tags[i].data();
  }
  return tags;
}
