// ResponseBlocks: the responses a loop has handed to plug-ins. Each one's
// record points into a block the host keeps until the plug-in calls the
// record's release, or the loop ends. A plug-in may release from any thread,
// release a copy of the record, or release twice: every block is looked up
// in one registry, under one lock, before it is touched.
#pragma once

#include <atomic>
#include <cstddef>

#include "host/loop/messages.h"
#include "kiv/plugin_abi.h"

namespace kiv::host {

class ResponseBlocks {
 public:
  ResponseBlocks() = default;
  // Frees the blocks not yet released; releasing one later does nothing.
  ~ResponseBlocks();
  ResponseBlocks(const ResponseBlocks&) = delete;
  ResponseBlocks& operator=(const ResponseBlocks&) = delete;

  // Fills `response` with `answer`; the plug-in releases it with
  // response->release. A streamed answer is read through
  // response->stream_read, one chunk per read at most.
  void Fill(HostResponse* response, Response answer);
  // Fills `response` with an error that points at `message` (static) and
  // whose release only clears the record.
  static void FillRefused(HostResponse* response, const char* message, uint32_t status);

  size_t unreleased() const;  // [any thread]
  int stream_reads() const { return stream_reads_.load(); }
  int streams_closed() const { return streams_closed_.load(); }

 private:
  struct Block;
  static uint8_t StreamRead(void* context, char* buffer, uint32_t* size, uint8_t* more);
  static void StreamClose(void* context);
  static void Release(HostResponse* response);

  size_t live_ = 0;  // guarded by the registry's lock
  std::atomic<int> stream_reads_{0};
  std::atomic<int> streams_closed_{0};
};

}  // namespace kiv::host
