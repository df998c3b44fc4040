// The C library's text-to-number conversions (strtod, strtoll, strtoull),
// always in the "C" locale: the process locale (a decimal comma, say) must
// not change what a number text reads as.
//
// Internal to the binding layer.
#pragma once

namespace Quarn::detail {

double StrToDouble(const char* text, char** end);
long long StrToSigned(const char* text, char** end, int base);
unsigned long long StrToUnsigned(const char* text, char** end, int base);

}  // namespace Quarn::detail
