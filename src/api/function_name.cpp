#include "api/function_name.h"

namespace {

char ToUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char ToLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsSeparator(char c) { return c == '!' || c == '+' || c == '-' || c == '.' || c == '/' || c == '_'; }

}  // namespace

std::string Quarn::DeriveFunctionName(std::string_view method_text, std::string_view path_template) {
  std::string source;
  source.reserve(method_text.size() + 1 + path_template.size());
  if (!method_text.empty()) {
    source += method_text.front();
    for (char c : method_text.substr(1)) source += ToLower(c);
    source += '/';
  }
  source += path_template;

  std::string name;
  name.reserve(source.size() + 8);
  bool capitalise = true;
  for (char c : source) {
    if (IsSeparator(c)) {
      capitalise = true;
    } else if (c == '{') {
      name += "By";
      capitalise = true;
    } else if (c != '}') {
      name += capitalise ? ToUpper(c) : c;
      capitalise = false;
    }
  }
  return name;
}
