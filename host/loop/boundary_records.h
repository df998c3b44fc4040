// Copies between the boundary's records and the host's own Request and
// Response, in both directions.
#pragma once

#include <cstdint>
#include <vector>

#include "binding/failure.h"
#include "binding/maybe_type.h"
#include "host/loop/messages.h"
#include "kiv/plugin_abi.h"

namespace kiv::host {

// Copies an outbound request record (borrowed for the duration of the call);
// fails on an invalid typed argument.
Quarn::Maybe<Request> CopyRequest(const HostRequest& in);

// Reads what a plug-in wrote into a response record; a streamed body is
// drained and closed here. Does not release the record.
Response ReadPluginResponse(const HostResponse& in);

// The record that hands `request` to a plug-in function. Points into
// `request`, which must outlive it and stay unchanged.
class RequestRecord {
 public:
  RequestRecord(const Request& request, const ApiFunctionEntry* function, void* token);
  RequestRecord(const RequestRecord&) = delete;
  RequestRecord& operator=(const RequestRecord&) = delete;

  const HostRequest* get() const { return &record_; }

 private:
  std::vector<HostTypedArgument> arguments_;
  std::vector<HostNameValue> pairs_;
  HostRequest record_;
};

}  // namespace kiv::host
