#include "binding/detail/c_locale_numbers.h"

#include <locale.h>
#include <stdlib.h>

namespace {

// Created once and never freed: conversions may run until the process ends.
locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

}  // namespace

double Quarn::detail::StrToDouble(const char* text, char** end) { return strtod_l(text, end, CLocale()); }

long long Quarn::detail::StrToSigned(const char* text, char** end, int base) {
  return strtoll_l(text, end, base, CLocale());
}

unsigned long long Quarn::detail::StrToUnsigned(const char* text, char** end, int base) {
  return strtoull_l(text, end, base, CLocale());
}
