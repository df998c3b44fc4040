#include "host/loop/response_blocks.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

// The answer a response record points into, plus the state of its stream.
struct kiv::host::ResponseBlocks::Block {
  ResponseBlocks* owner;
  Response answer;
  std::vector<HostNameValue> header_records;
  size_t chunk = 0;   // next chunk to read
  size_t offset = 0;  // read position in that chunk
  int reads = 0;
};

namespace {

// Every block handed out by any loop, by address. Never freed: a plug-in
// may release after its loop is gone.
std::mutex g_mutex;
template <class B>
std::unordered_map<const void*, std::unique_ptr<B>>& Registry() {
  static auto* blocks = new std::unordered_map<const void*, std::unique_ptr<B>>();
  return *blocks;
}

void ClearRecord(HostResponse* response) {
  if (response != nullptr) std::memset(response, 0, sizeof *response);
}

}  // namespace

kiv::host::ResponseBlocks::~ResponseBlocks() {
  std::vector<std::unique_ptr<Block>> mine;  // freed after the lock is released
  std::lock_guard lock(g_mutex);
  auto& registry = Registry<Block>();
  for (auto it = registry.begin(); it != registry.end();) {
    if (it->second->owner == this) {
      mine.push_back(std::move(it->second));
      it = registry.erase(it);
    } else {
      ++it;
    }
  }
}

size_t kiv::host::ResponseBlocks::unreleased() const {
  std::lock_guard lock(g_mutex);
  return live_;
}

void kiv::host::ResponseBlocks::FillRefused(HostResponse* response, const char* message, uint32_t status) {
  ClearRecord(response);
  response->error = message;
  response->status = status;
  response->release = &ClearRecord;
}

void kiv::host::ResponseBlocks::Fill(HostResponse* response, Response answer) {
  auto block = std::make_unique<Block>();
  block->owner = this;
  block->answer = std::move(answer);
  const Response& a = block->answer;
  for (const auto& [name, value] : a.headers) block->header_records.push_back({name.c_str(), value.c_str()});

  ClearRecord(response);
  if (!a.chunks) response->body = a.body.get();
  response->error = a.error ? a.error->c_str() : nullptr;
  response->status = a.status;
  response->content_type = a.content_type.c_str();
  response->headers = block->header_records.empty() ? nullptr : block->header_records.data();
  response->header_count = static_cast<uint32_t>(block->header_records.size());
  if (a.chunks) {
    response->stream_read = &StreamRead;
    response->stream_close = &StreamClose;
    size_t total = 0;
    for (const auto& c : *a.chunks) total += c.size();
    response->expected_length = static_cast<uint32_t>(total);
  }
  // The stream context also names the block for release, so a plug-in that
  // releases a copy of the record still frees the right block.
  response->stream_context = block.get();
  response->release = &Release;
  std::lock_guard lock(g_mutex);
  const void* key = block.get();
  Registry<Block>()[key] = std::move(block);
  ++live_;
}

uint8_t kiv::host::ResponseBlocks::StreamRead(void* context, char* buffer, uint32_t* size, uint8_t* more) {
  if (buffer == nullptr || size == nullptr || more == nullptr) return 0;
  std::lock_guard lock(g_mutex);
  auto it = Registry<Block>().find(context);
  if (it == Registry<Block>().end()) return 0;
  Block& block = *it->second;
  block.owner->stream_reads_++;
  if (++block.reads == block.answer.stream_fail_at_read || !block.answer.chunks) return 0;
  const std::vector<std::string>& chunks = *block.answer.chunks;
  if (block.chunk >= chunks.size()) {
    *size = 0;
    *more = 0;
    return 1;
  }
  const std::string& chunk = chunks[block.chunk];
  const size_t n = std::min<size_t>(*size, chunk.size() - block.offset);
  if (n > 0) std::memcpy(buffer, chunk.data() + block.offset, n);
  block.offset += n;
  if (block.offset == chunk.size()) {
    ++block.chunk;
    block.offset = 0;
  }
  *size = static_cast<uint32_t>(n);
  *more = block.chunk < chunks.size() ? 1 : 0;
  return 1;
}

void kiv::host::ResponseBlocks::StreamClose(void* context) {
  std::lock_guard lock(g_mutex);
  auto it = Registry<Block>().find(context);
  if (it != Registry<Block>().end()) it->second->owner->streams_closed_++;
}

void kiv::host::ResponseBlocks::Release(HostResponse* response) {
  if (response == nullptr) return;
  const void* key = response->stream_context;
  ClearRecord(response);
  std::unique_ptr<Block> block;  // freed after the lock is released
  std::lock_guard lock(g_mutex);
  auto it = Registry<Block>().find(key);
  if (it == Registry<Block>().end()) return;
  block = std::move(it->second);
  Registry<Block>().erase(it);
  --block->owner->live_;
}
