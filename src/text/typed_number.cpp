#include "text/typed_number.h"

#include <cctype>
#include <cmath>
#include <string>

namespace {

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

double ParseTypedNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    double value = 0;
    bool digits = false;
    for (; i < text.size() && IsDigit(text[i]); ++i, digits = true) value = value * 10 + (text[i] - '0');
    if (i < text.size() && text[i] == '.') {
        double scale = 0.1;
        for (++i; i < text.size() && IsDigit(text[i]); ++i, digits = true) {
            value += (text[i] - '0') * scale;
            scale /= 10;
        }
    }
    // An exponent continues the number only when a digit follows it ("2e" reads 2).
    if (digits && i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        bool negativeExponent = false;
        if (j < text.size() && (text[j] == '-' || text[j] == '+')) negativeExponent = text[j++] == '-';
        if (j < text.size() && IsDigit(text[j])) {
            int exponent = 0;
            for (; j < text.size() && IsDigit(text[j]); ++j)
                if (exponent < 1000) exponent = exponent * 10 + (text[j] - '0');
            // Zero stays zero and an overflowed mantissa stays infinite: 0 x 1e999
            // or inf x 1e-999 would give NaN, which slips past every range check.
            if (value != 0 && std::isfinite(value)) value *= std::pow(10.0, negativeExponent ? -exponent : exponent);
        }
    }
    return negative ? -value : value;
}

long DecimalValue(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long value = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && value < 100000000)
        value = value * 10 + (text[i++] - '0');
    return negative ? -value : value;
}
