// Quarn::CallResult: what binding and a handler produce for one request
// (result value or failure, status, content type, headers, body stream),
// written into the host's response afterwards.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "binding/binding_property.h"

namespace Quarn {

// A response body the host reads in pieces instead of as one value.
class BodyStream {
 public:
  virtual ~BodyStream() = default;
  // Reads up to `size` bytes into `buffer`; sets `size` to the count read and
  // `more` to false at the end. Returns false when the body cannot be read.
  virtual bool Read(char* buffer, uint32_t& size, bool& more) = 0;
  // The total length as far as the stream knows it (a size hint).
  virtual uint32_t Length() const = 0;
};

struct ResponseHeader {
  std::string name;
  std::string value;
};

struct CallResult {
  // The result value; on failure the Structure {"error": message}.
  BindingResult value;
  uint8_t format = 0;
  uint32_t content_kind = 0;  // 1, 2 or 3 are passed on; anything else is written as 0
  uint32_t status = 0;        // 0: no status given
  std::string content_type;
  std::vector<ResponseHeader> headers;
  std::unique_ptr<BodyStream> stream;  // ownership passes to the response

  // Records a failure; replaces an earlier one.
  void Fail(std::string_view message) { value.Fail(message); }
  bool ok() const { return value.ok(); }
};

}  // namespace Quarn
