// Replay: runs a plug-in against a session recording. The plug-in is loaded
// in a HostLoop on virtual time whose only handler answers every outbound
// call from the recording; the recorded requests, host events and unload
// are fed in recorded order, each at its recorded time, so a request that
// arrived while another waited is fed from inside that wait. The answers,
// outbound calls and published events are compared with the recording.
//
// The plug-in's own wall-clock readings (whole milliseconds since 1970, or
// "YYYY-MM-DDTHH:MM:SSZ") match when the recorded one falls within the
// recording's session and the replayed one within the replay.
//
// A call the recording has no answer for is answered with an error and
// reported; an expected output that does not come while the loop has
// nothing else to do is reported as missing and the replay goes on.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "binding/failure.h"
#include "binding/maybe_type.h"
#include "host/loop/boundary_observer.h"
#include "host/plugin_library.h"
#include "host/session/recording_reader.h"

namespace kiv::host::session {

struct ReplayResult {
  size_t requests = 0;  // answers compared
  size_t calls = 0;     // outbound calls compared
  size_t events = 0;    // published events compared
  // One line per mismatch, in the order found: "line N (seq S) <what>:
  // <field>: expected <json>, got <json>".
  std::vector<std::string> mismatches;

  bool ok() const { return mismatches.empty(); }
  // "31 requests, 40 calls, 12 events compared; 0 mismatches"
  std::string Summary() const;
};

struct ReplayOptions {
  std::string plugin_path;
  LoadOptions load;
  // Set: sees the replayed session as a recorder would (kiv replay
  // --update writes it as the new recording). Must outlive the replay.
  BoundaryObserver* record = nullptr;
  // Called when the plug-in still waits inside a handler long after the
  // recording ended, so the replay cannot return; it must not return
  // (kiv replay prints the result and exits). Unset: abort.
  std::function<void(const ReplayResult& so_far)> stuck;
};

// Fails, before anything is replayed, when the plug-in does not load or is
// not the one the recording was made with (name and API version).
Quarn::Maybe<ReplayResult> Replay(const Recording& recording, const ReplayOptions& options);

}  // namespace kiv::host::session
