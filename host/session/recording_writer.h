// RecordingWriter: writes what crosses a plug-in's boundary as a session
// recording, one JSON object per line:
//
//   {"kind":"header","format":"kiv-session","version":1,"plugin":NAME,"apiVersion":"X.Y.Z",
//    "recordedAtMs":WALL_CLOCK_MS}
//   {"seq":N,"t":SECONDS,"kind":"request","id":I,"request":{...}}      to the plug-in
//   {"seq":N,"t":SECONDS,"kind":"answer","id":I,"to":"GET /path","answer":{...}}
//   {"seq":N,"t":SECONDS,"kind":"call","request":{...},"answer":{...}}  from the plug-in
//   {"seq":N,"t":SECONDS,"kind":"publish","name":NAME,"data":VALUE}     from the plug-in
//   {"seq":N,"t":SECONDS,"kind":"deliver","name":NAME,"data":VALUE}     to the plug-in
//   {"seq":N,"t":SECONDS,"kind":"host","request":{...},"answer":{"status":N}}  a control the host
//                                                           served (its reads are left out)
//   {"seq":N,"t":SECONDS,"kind":"unload"}
//
// "t" is the loop's clock; the header's wall-clock reading is the only one. Lines before the plug-in is loaded wait for the
// header. Each line is flushed as it is written. [any thread, one at a time]
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "binding/failure.h"
#include "binding/maybe_type.h"
#include "host/loop/boundary_observer.h"

namespace kiv::host::session {

inline constexpr std::string_view kFormatName = "kiv-session";
inline constexpr int kFormatVersion = 1;

class RecordingWriter final : public BoundaryObserver {
 public:
  // Writes to the file at `path` (created or emptied); fails with
  // "cannot write the recording <path>: <reason>".
  static Quarn::Maybe<std::unique_ptr<RecordingWriter>> Create(const std::string& path);
  // Hands each line, without its newline, to `sink`.
  explicit RecordingWriter(std::function<void(std::string_view line)> sink);

  void PluginLoaded(double now, const PluginLibrary& library) override;
  void PluginUnloading(double now) override;
  uint64_t InboundStarted(double now, const Request& request) override;
  void InboundAnswered(double now, uint64_t token, const Response& answer) override;
  void HostServed(double now, const Request& request, const Response& answer) override;
  void Outbound(double now, const Request& request, const Response& answer) override;
  void Published(double now, std::string_view name, const HostValue& payload) override;
  void Delivered(double now, std::string_view name, const HostValue& payload) override;

  // The header a replay writes for the plug-in it replayed.
  void Header(std::string_view plugin, std::string_view api_version);

 private:
  void Write(std::string line);  // REQUIRES: mutex_ held

  std::mutex mutex_;  // guards everything below
  std::function<void(std::string_view)> sink_;
  bool header_written_ = false;
  std::vector<std::string> before_header_;
  uint64_t seq_ = 1;
  uint64_t next_id_ = 1;
  std::vector<std::pair<uint64_t, std::string>> open_requests_;  // id, "GET /path"
};

}  // namespace kiv::host::session
