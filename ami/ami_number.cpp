// Locale-independent classification and conversion of decimal numbers.
#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

#include "ami_tree.h"

namespace {

bool IsBlank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

struct NumberShape {
    bool valid = false;
    bool integer = false;
    const char* begin = nullptr;  // after blanks and sign
    bool negative = false;
    const char* end = nullptr;
    long decimalExponent = 0;  // rough exponent of the leading digit, for range errors
    bool allZero = true;
};

// Scans the decimal grammar that strtol (integer) or strtod (float) accept in
// the C locale, insisting that the whole text is consumed.
NumberShape Scan(const char* text) {
    NumberShape shape;
    const char* p = text;
    while (IsBlank(static_cast<unsigned char>(*p))) ++p;
    if (*p == '+' || *p == '-') {
        shape.negative = *p == '-';
        ++p;
    }
    shape.begin = p;
    long intDigits = 0, fracDigits = 0, leadingZeros = 0;
    bool seenNonZero = false;
    while (IsDigit(*p)) {
        if (*p != '0') seenNonZero = true;
        if (!seenNonZero) ++leadingZeros;
        ++intDigits;
        ++p;
    }
    long fracLeadingZeros = 0;
    bool point = false;
    if (*p == '.') {
        point = true;
        ++p;
        while (IsDigit(*p)) {
            if (*p != '0') {
                seenNonZero = true;
            } else if (!seenNonZero) {
                ++fracLeadingZeros;
            }
            ++fracDigits;
            ++p;
        }
    }
    if (intDigits + fracDigits == 0) {
        return shape;
    }
    long exponent = 0;
    bool hasExponent = false;
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        bool expNegative = false;
        if (*q == '+' || *q == '-') {
            expNegative = *q == '-';
            ++q;
        }
        if (IsDigit(*q)) {
            hasExponent = true;
            while (IsDigit(*q)) {
                if (exponent < 100000000) exponent = exponent * 10 + (*q - '0');
                ++q;
            }
            if (expNegative) exponent = -exponent;
            p = q;
        }
    }
    if (*p != '\0') {
        return shape;
    }
    shape.valid = true;
    shape.integer = !point && !hasExponent;
    shape.end = p;
    shape.allZero = !seenNonZero;
    const long significantIntDigits = intDigits - leadingZeros;
    shape.decimalExponent =
        (significantIntDigits > 0 ? significantIntDigits : -fracLeadingZeros) + exponent;
    return shape;
}

}  // namespace

AmiValueType ami_value_type(const char* text) {
    if (text == nullptr || *text == '\0') {
        return AmiValueType::None;
    }
    const NumberShape shape = Scan(text);
    if (shape.valid) {
        return shape.integer ? AmiValueType::Integer : AmiValueType::Float;
    }
    if (std::strcmp(text, "True") == 0 || std::strcmp(text, "False") == 0) {
        return AmiValueType::Boolean;
    }
    return AmiValueType::String;
}

bool ami_number_value(const char* text, double* value) {
    if (text == nullptr || value == nullptr) {
        return false;
    }
    const NumberShape shape = Scan(text);
    if (!shape.valid) {
        return false;
    }
    double magnitude = 0.0;
    const auto result =
        std::from_chars(shape.begin, shape.end, magnitude, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        magnitude = shape.decimalExponent > 0 ? HUGE_VAL : 0.0;
    } else if (result.ec != std::errc() || result.ptr != shape.end) {
        return false;
    }
    *value = shape.negative ? -magnitude : magnitude;
    return true;
}
