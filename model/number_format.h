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
