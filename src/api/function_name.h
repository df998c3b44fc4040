// DeriveFunctionName: the name a registered endpoint gets from its method
// and path template.
#pragma once

#include <string>
#include <string_view>

namespace Quarn {

// The method text (first character as given, the rest lower case) and "/"
// when the text is not empty, then the template; of that, "!+-./_" are
// dropped and capitalise the next character, "{" becomes "By" and
// capitalises the next character, "}" is dropped.
//   ("GET", "/a/{id}")        -> "GetAById"
//   ("", "kiv-collections")   -> "KivCollections"
std::string DeriveFunctionName(std::string_view method_text, std::string_view path_template);

}  // namespace Quarn
