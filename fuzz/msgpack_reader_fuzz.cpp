// Fuzzes ReadMsgPack and writes every value it reads back as JSON.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "binding/json_reader.h"
#include "binding/json_writer.h"
#include "binding/msgpack_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Quarn::MsgPackReadResult read = Quarn::ReadMsgPack(data, size);
  if (read.consumed > size) std::abort();
  if (!read.result.ok()) {
    if (read.result.ErrorMessage().rfind("Invalid MessagePack data", 0) != 0) std::abort();
    return 0;
  }
  const std::string json = Quarn::ToJson(read.result.value);
  if (!json.empty() && !Quarn::FromJson(json).ok()) std::abort();
  return 0;
}
