#include "support/case_file.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>

std::optional<std::string> kiv::test::FileCase::Get(std::string_view key) const {
  for (const auto& [name, value] : fields) {
    if (name == key) return value;
  }
  return std::nullopt;
}

std::vector<kiv::test::FileCase> kiv::test::ReadCaseFile(const std::string& path) {
  std::vector<FileCase> cases;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  for (size_t number = 1; std::getline(in, line); ++number) {
    const size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos || line[start] == '#') continue;
    const size_t space = line.find(' ', start);
    std::string value;
    for (size_t i = space == std::string::npos ? line.size() : space + 1; i < line.size(); ++i) {
      if (line[i] == '^' && i + 2 < line.size() && std::isxdigit(line[i + 1]) && std::isxdigit(line[i + 2])) {
        value += static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16));
        i += 2;
      } else {
        value += line[i];
      }
    }
    if (start == 0) cases.push_back({path.substr(path.rfind('/') + 1) + ":" + std::to_string(number), {}});
    if (cases.empty()) {
      ADD_FAILURE() << path << ":" << number << ": an indented line before the first case";
      continue;
    }
    cases.back().fields.emplace_back(line.substr(start, space - start), std::move(value));
  }
  if (cases.empty()) ADD_FAILURE() << path << ": no cases";
  return cases;
}
