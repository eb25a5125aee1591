#pragma once
// Number texts shown to the operator. The decimal separator is always passed
// in: the application takes it from the system locale, tests fix it.
//
// Decimal digits are rounded half away from zero on the exact binary value
// (what operators of the old program are used to seeing); rounding a value to
// an integer elsewhere in the program is halves to even (RoundEven).

#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qel {

// Nearest integer, halves to even.
inline long long RoundEven(long double v) { return std::llrint(v); }
inline long long RoundEven(double v) { return std::llrint(v); }
inline long long RoundEven(float v) { return std::llrint(v); }

// general(P, E): shortest text with at most P significant digits, no trailing
// zeros; plain notation when the integer part has at most P digits and the
// magnitude is at least 0.00001, otherwise d[,ddd]E[-]xx with at least E
// exponent digits (a positive exponent carries no sign).
std::string FormatGeneral(double v, int precision, int expDigits, std::string_view sep);

// fixed(P, D): rounded to P significant digits (and to D decimals), printed
// with exactly D decimals. When the integer part has more than P digits the
// scientific form of general(P, 0) is used.
std::string FormatFixed(double v, int precision, int decimals, std::string_view sep);

// exponent(P, E): d,ddd (P digits) "E", sign, at least E exponent digits.
std::string FormatExponent(double v, int precision, int expDigits, std::string_view sep);

// The form a Russian word takes after the whole number n: `one` after 1, 21,
// 101 ... (not 11), `few` after 2-4, 22-24, 102 ... (not 12-14), `many` after
// the rest (0, 5-20, 25-30, 111 ...). A negative number takes its magnitude's form.
inline std::string_view PluralForm(long long n, std::string_view one, std::string_view few, std::string_view many) {
  const unsigned long long m = n < 0 ? 0ULL - static_cast<unsigned long long>(n) : static_cast<unsigned long long>(n);
  if (m % 100 >= 11 && m % 100 <= 14) return many;
  if (m % 10 == 1) return one;
  if (m % 10 >= 2 && m % 10 <= 4) return few;
  return many;
}

// A count of spectra: "1 спектр", "4 спектра", "11 спектров", "22 спектра".
inline std::string SpectraCount(long long n) {
  return std::to_string(n) + " " + std::string(PluralForm(n, "спектр", "спектра", "спектров"));
}

class ConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses a decimal number written with the given separator (optional sign,
// digits, separator, digits, optional exponent; blanks around are allowed).
// Throws ConvertError "'<text>' is not a valid floating point value".
double ParseFloat(std::string_view text, std::string_view sep);

// Parses a whole decimal number; throws ConvertError
// "'<text>' is not a valid integer value".
long long ParseInteger(std::string_view text);

}  // namespace qel
