#include "common/numbers.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace orv {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t SkipBlanks(std::string_view t) {
  std::size_t i = 0;
  while (i < t.size() && IsBlank(t[i])) ++i;
  return i;
}

}  // namespace

long long LeadingInt(std::string_view text) {
  std::size_t i = SkipBlanks(text);
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Accumulate as a negative number so that the minimum is reachable.
  constexpr long long kMin = std::numeric_limits<long long>::min();
  long long value = 0;
  bool saturated = false;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    int d = text[i] - '0';
    if (!saturated) {
      if (value < (kMin + d) / 10) {
        saturated = true;
      } else {
        value = value * 10 - d;
      }
    }
  }
  if (saturated) return negative ? kMin : std::numeric_limits<long long>::max();
  if (negative) return value;
  return value == kMin ? std::numeric_limits<long long>::max() : -value;
}

float LeadingFloat(std::string_view text) {
  std::size_t i = SkipBlanks(text);
  std::size_t start = i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
    start = i;
  }
  std::size_t digits = 0;
  std::size_t j = i;
  while (j < text.size() && IsDigit(text[j])) ++j, ++digits;
  if (j < text.size() && text[j] == '.') {
    ++j;
    while (j < text.size() && IsDigit(text[j])) ++j, ++digits;
  }
  if (digits == 0) return 0.0f;
  std::size_t end = j;
  if (j < text.size() && (text[j] == 'e' || text[j] == 'E')) {
    std::size_t k = j + 1;
    if (k < text.size() && (text[k] == '+' || text[k] == '-')) ++k;
    if (k < text.size() && IsDigit(text[k])) {
      while (k < text.size() && IsDigit(text[k])) ++k;
      end = k;
    }
  }
  std::string_view num = text.substr(start, end - start);
  double value = 0.0;
  auto res = std::from_chars(num.data(), num.data() + num.size(), value, std::chars_format::general);
  if (res.ec == std::errc::result_out_of_range) {
    // Decide between overflow and underflow from the written magnitude.
    std::size_t e = num.find_first_of("eE");
    bool huge = e != std::string_view::npos ? num.find('-', e) == std::string_view::npos
                                            : num.substr(0, num.find('.')).find_first_not_of('0') !=
                                                  std::string_view::npos;
    value = huge ? std::numeric_limits<double>::max() : 0.0;
  } else if (res.ec != std::errc()) {
    value = 0.0;
  }
  constexpr double kFloatMax = std::numeric_limits<float>::max();
  if (value > kFloatMax) value = kFloatMax;
  float f = static_cast<float>(value);
  return negative ? -f : f;
}

std::string DecimalText(long long value) { return std::to_string(value); }

std::string StrText(long long value) {
  return value >= 0 ? " " + std::to_string(value) : std::to_string(value);
}

std::string FloatText(float value) {
  if (!std::isfinite(value)) return "0";
  char buf[80];
  // 7 significant digits in fixed notation, independent of the C locale.
  double v = static_cast<double>(value);
  int intDigits = v == 0.0 ? 1 : static_cast<int>(std::floor(std::log10(std::fabs(v)))) + 1;
  int decimals = 7 - intDigits;
  if (decimals < 0) decimals = 0;
  if (decimals > 45) decimals = 45;
  auto res = std::to_chars(buf, buf + sizeof buf - 1, v, std::chars_format::fixed, decimals);
  *res.ptr = '\0';
  std::string s(buf);
  if (s.find('.') != std::string::npos) {
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
  }
  if (s == "-0") s = "0";
  return s;
}

}  // namespace orv
