// The options dialog's reading of a number from a field, by one rule on every
// build: the C library's own conversions also take hexadecimal, infinities
// and NaNs, and follow the process locale's decimal point.
#include "export/LeadingDecimal.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>

namespace vandrell {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Far beyond any decimal exponent a double can reach; exponents are
// saturated here so that a long run of digits cannot overflow the count.
constexpr int64_t kExponentLimit = 1000000000;

}  // namespace

double LeadingDecimal(const char* text) {
  if (!text) return 0.0;
  const char* p = text;
  while (IsSpace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }

  // The significand: digits, a point, digits. Where its first non-zero digit
  // stands gives the number's decimal magnitude, needed only when it lies
  // outside the double range.
  const char* const start = p;
  int64_t magnitude = 0;  // decimal exponent of the first non-zero digit
  bool nonzero = false;
  int64_t whole_digits = 0;
  for (; IsDigit(*p); ++p, ++whole_digits) {
    if (!nonzero && *p != '0') {
      nonzero = true;
      magnitude = -whole_digits;  // completed by the count of whole digits below
    }
  }
  if (nonzero) magnitude += whole_digits - 1;
  bool any_digit = whole_digits > 0;
  if (*p == '.') {
    const char* fraction = p + 1;
    int64_t position = 0;
    for (; IsDigit(*fraction); ++fraction) {
      ++position;
      if (!nonzero && *fraction != '0') {
        nonzero = true;
        magnitude = -position;
      }
    }
    if (fraction > p + 1 || any_digit) {
      any_digit = any_digit || fraction > p + 1;
      p = fraction;
    }
  }
  if (!any_digit) return 0.0;

  // The exponent counts only with at least one digit after "e" and its sign.
  if (*p == 'e' || *p == 'E') {
    const char* q = p + 1;
    bool exponent_negative = false;
    if (*q == '+' || *q == '-') {
      exponent_negative = *q == '-';
      ++q;
    }
    if (IsDigit(*q)) {
      int64_t exponent = 0;
      for (; IsDigit(*q); ++q) {
        if (exponent < kExponentLimit) exponent = exponent * 10 + (*q - '0');
      }
      magnitude += exponent_negative ? -exponent : exponent;
      p = q;
    }
  }

  // What remains is a plain decimal that from_chars reads whole, rounding
  // correctly and without regard to the locale.
  double value = 0.0;
  const std::from_chars_result result = std::from_chars(start, p, value);
  if (result.ec == std::errc::result_out_of_range) {
    value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (result.ec != std::errc() || result.ptr != p) {
    value = 0.0;  // not reached: the text was checked above
  }
  return negative ? -value : value;
}

}  // namespace vandrell
