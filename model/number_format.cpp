#include "number_format.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace qel {

namespace {

// Decimal digits of |v| as d1 d2 ... dn with value d1.d2...dn x 10^exp.
struct Digits {
  std::string d;
  int exp = 0;
  bool zero() const { return d.find_first_not_of('0') == std::string::npos; }
};

constexpr int kExactDigits = 40;

Digits ExactDigits(double v) {
  char buf[80];
  std::snprintf(buf, sizeof buf, "%.*e", kExactDigits, std::fabs(v));
  Digits r;
  const char* p = buf;
  for (; *p && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') r.d.push_back(*p);
  if (*p == 'e') r.exp = std::atoi(p + 1);
  return r;
}

// Keeps `keep` leading digits, rounding half away from zero.
Digits RoundTo(Digits x, int keep) {
  if (keep >= static_cast<int>(x.d.size())) {
    x.d.append(static_cast<std::size_t>(keep) - x.d.size(), '0');
    return x;
  }
  if (keep < 0) return Digits{"0", 0};
  const bool up = x.d[static_cast<std::size_t>(keep)] >= '5';
  x.d.resize(static_cast<std::size_t>(keep));
  if (up) {
    int i = keep - 1;
    for (; i >= 0; --i) {
      if (x.d[static_cast<std::size_t>(i)] == '9') {
        x.d[static_cast<std::size_t>(i)] = '0';
      } else {
        ++x.d[static_cast<std::size_t>(i)];
        break;
      }
    }
    if (i < 0) {  // 999 -> 1000
      x.d.insert(x.d.begin(), '1');
      x.d.pop_back();
      // Not `= "1"`: GCC 12 at -O2 and above warns falsely that assigning a
      // one-character literal overlaps itself (-Wrestrict, GCC bug 105329).
      if (keep == 0) x.d.assign(1, '1');
      ++x.exp;
    }
  }
  if (x.d.empty() || x.zero()) return Digits{"0", 0};
  return x;
}

std::string ExponentText(int exp, int minDigits, bool plusSign) {
  std::string s = exp < 0 ? "-" : (plusSign ? "+" : "");
  std::string n = std::to_string(exp < 0 ? -exp : exp);
  if (static_cast<int>(n.size()) < minDigits)
    n.insert(0, static_cast<std::size_t>(minDigits) - n.size(), '0');
  return s + n;
}

std::string Scientific(const Digits& x, bool neg, int expDigits, bool plusSign,
                       std::string_view sep) {
  std::string s = neg ? "-" : "";
  s += x.d[0];
  if (x.d.size() > 1) {
    s += sep;
    s.append(x.d, 1);
  }
  s += 'E';
  s += ExponentText(x.exp, expDigits, plusSign);
  return s;
}

void StripTrailingZeros(std::string& d) {
  while (d.size() > 1 && d.back() == '0') d.pop_back();
}

}  // namespace

std::string FormatGeneral(double v, int precision, int expDigits, std::string_view sep) {
  if (!std::isfinite(v)) return std::isnan(v) ? "NAN" : (v < 0 ? "-INF" : "INF");
  Digits x = RoundTo(ExactDigits(v), precision);
  if (x.zero()) return "0";
  StripTrailingZeros(x.d);
  const bool neg = v < 0;
  if (x.exp >= precision || x.exp < -5) return Scientific(x, neg, expDigits, false, sep);
  std::string s = neg ? "-" : "";
  const int n = static_cast<int>(x.d.size());
  if (x.exp >= 0) {
    const int intDigits = x.exp + 1;
    for (int i = 0; i < intDigits; ++i) s += i < n ? x.d[static_cast<std::size_t>(i)] : '0';
    if (n > intDigits) {
      s += sep;
      s.append(x.d, static_cast<std::size_t>(intDigits));
    }
  } else {
    s += '0';
    s += sep;
    s.append(static_cast<std::size_t>(-x.exp - 1), '0');
    s += x.d;
  }
  return s;
}

std::string FormatFixed(double v, int precision, int decimals, std::string_view sep) {
  if (!std::isfinite(v)) return std::isnan(v) ? "NAN" : (v < 0 ? "-INF" : "INF");
  const Digits exact = ExactDigits(v);
  const bool isZero = exact.zero();
  Digits x = isZero ? Digits{"0", 0} : RoundTo(exact, std::min(precision, exact.exp + 1 + decimals));
  if (!x.zero() && x.exp >= precision) {
    Digits g = RoundTo(exact, precision);
    StripTrailingZeros(g.d);
    return Scientific(g, v < 0, 0, false, sep);
  }
  std::string s = (v < 0 && !x.zero()) ? "-" : "";
  const int n = static_cast<int>(x.d.size());
  auto digitAt = [&](int pos) {  // pos: power of ten counted from the first digit
    const int i = x.exp - pos;
    return (!x.zero() && i >= 0 && i < n) ? x.d[static_cast<std::size_t>(i)] : '0';
  };
  if (x.zero() || x.exp < 0) {
    s += '0';
  } else {
    for (int p = x.exp; p >= 0; --p) s += digitAt(p);
  }
  if (decimals > 0) {
    s += sep;
    for (int p = -1; p >= -decimals; --p) s += digitAt(p);
  }
  return s;
}

std::string FormatExponent(double v, int precision, int expDigits, std::string_view sep) {
  if (!std::isfinite(v)) return std::isnan(v) ? "NAN" : (v < 0 ? "-INF" : "INF");
  Digits x = RoundTo(ExactDigits(v), precision);
  if (x.zero()) x = Digits{std::string(static_cast<std::size_t>(std::max(precision, 1)), '0'), 0};
  x.d.resize(static_cast<std::size_t>(std::max(precision, 1)), '0');
  return Scientific(x, v < 0 && !x.zero(), expDigits, true, sep);
}

namespace {
std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}
}  // namespace

double ParseFloat(std::string_view text, std::string_view sep) {
  const auto fail = [&]() -> double {
    throw ConvertError("'" + std::string(text) + "' is not a valid floating point value");
  };
  std::string_view s = Trim(text);
  std::string plain;
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) plain += s[i++];
  int digits = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') { plain += s[i++]; ++digits; }
  if (!sep.empty() && s.substr(i, sep.size()) == sep) {
    i += sep.size();
    plain += '.';
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') { plain += s[i++]; ++digits; }
  }
  if (digits == 0) return fail();
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    plain += 'e';
    ++i;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) plain += s[i++];
    int expDigits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') { plain += s[i++]; ++expDigits; }
    if (expDigits == 0) return fail();
  }
  if (i != s.size()) return fail();
  const char* b = plain.data();
  if (*b == '+') ++b;
  double out = 0;
  const auto [end, ec] = std::from_chars(b, plain.data() + plain.size(), out);
  if (ec != std::errc() || end != plain.data() + plain.size() || !std::isfinite(out)) return fail();
  return out;
}

long long ParseInteger(std::string_view text) {
  std::string_view s = Trim(text);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  long long out = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size())
    throw ConvertError("'" + std::string(text) + "' is not a valid integer value");
  return out;
}

}  // namespace qel
