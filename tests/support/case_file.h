// Test vectors kept as data. A case starts on an unindented line "key value"
// and takes the indented "key value" lines under it; lines starting with '#'
// are comments. A value is the rest of its line, ^HH (two hex digits)
// standing for a byte.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kiv::test {

struct FileCase {
  std::string where;                                        // "file:line", for failure messages
  std::vector<std::pair<std::string, std::string>> fields;  // the first names the case
  const std::string& kind() const { return fields.front().first; }
  const std::string& input() const { return fields.front().second; }
  std::optional<std::string> Get(std::string_view key) const;
};

// A file that cannot be read, or holds no case, fails the current test.
std::vector<FileCase> ReadCaseFile(const std::string& path);

}  // namespace kiv::test
