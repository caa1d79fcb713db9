#include "text/format_number.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

// How the masks read:
// - "#" shows a digit only where the number has one; "0" always shows a digit.
// - "*x" makes x the fill; the "*" and x are two more leading digit positions, and
//   every leading position the number does not need shows x.
// - "." places the point; the number is rounded half away from zero to the digit
//   positions after it (or to an integer). Only the first "." counts.
// - Blank, "-", "+", "(", ")" and "$" are copied in place; every other character is
//   dropped, "e" and "E" included (our masks use them only as letters).
// - A number longer than the positions widens the field: the extra digits stand just
//   before the first integer position.
//
// Decisions where the mask language leaves room:
// - A zero integer part shows one "0" when the position just before the point is a
//   "#" or "0" (0.5 with "#.0" is "0.5", 0 with "* #" is "  0", the graph label 0 with
//   "#.0" is "0.0"). When only fill positions stand there ("* .0") no zero is shown:
//   0.5 gives "  .5".
// - "#" positions after the point drop trailing zeros, from the right end, stopping at
//   the first non-zero digit or "0" position; when all of them go, the point goes too
//   ("###.##": 8 -> "8", 6.666 -> "6.67"; "* .#0 ": 1.5 -> " 1.50 ").
// - A minus sign stands immediately before the first digit shown (or before the point
//   when no integer digit is shown). In a filled field it takes one fill position, so
//   the width stays; without a free fill position the field widens.
// - A value that rounds to zero shows no minus sign.
// - NaN and infinities are shown as 0: a mask always yields a number.

namespace {

enum class Slot : char { hash, zero, fill, literal };

struct Item {
    Slot kind;
    char ch;  // the literal, or unused for digit positions
};

// Decimal digits of |value| rounded half away from zero to `fractionDigits`
// places: integer digits without leading zeros (empty for zero) and exactly
// `fractionDigits` fraction digits. Works on the 15 significant digits a double
// holds, so 2.675 rounds to 2.68 as a user expects.
void DecimalDigits(double value, int fractionDigits, std::string& integerDigits,
                   std::string& fractionText) {
    integerDigits.clear();
    fractionText.assign(static_cast<size_t>(fractionDigits), '0');
    double magnitude = std::fabs(value);
    if (!(magnitude > 0) || !std::isfinite(magnitude)) return;

    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                                std::chars_format::scientific, 14);
    // buffer: d.dddddddddddddde[+-]xx
    std::string mantissa;
    const char* p = buffer;
    for (; p < result.ptr && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') mantissa.push_back(*p);
    int exponent = 0;
    if (p < result.ptr) std::from_chars(p + 1 + (p[1] == '+'), result.ptr, exponent);

    // Digit i of the mantissa has the place value 10^(exponent - i).
    int keep = exponent + 1 + fractionDigits;  // digits at or above 10^-fractionDigits
    if (keep < 0) return;
    std::string digits;
    if (keep >= static_cast<int>(mantissa.size())) {
        digits = mantissa;
        digits.append(static_cast<size_t>(keep) - mantissa.size(), '0');
    } else {
        digits = mantissa.substr(0, static_cast<size_t>(keep));
        if (mantissa[static_cast<size_t>(keep)] >= '5') {
            int i = keep - 1;
            for (; i >= 0; --i) {
                if (digits[static_cast<size_t>(i)] == '9') {
                    digits[static_cast<size_t>(i)] = '0';
                } else {
                    ++digits[static_cast<size_t>(i)];
                    break;
                }
            }
            if (i < 0) digits.insert(digits.begin(), '1');
        }
    }
    // digits now holds the rounded value times 10^fractionDigits.
    if (static_cast<int>(digits.size()) < fractionDigits)
        digits.insert(0, static_cast<size_t>(fractionDigits) - digits.size(), '0');
    size_t split = digits.size() - static_cast<size_t>(fractionDigits);
    integerDigits = digits.substr(0, split);
    fractionText = digits.substr(split);
    size_t firstNonZero = integerDigits.find_first_not_of('0');
    integerDigits.erase(0, firstNonZero == std::string::npos ? integerDigits.size() : firstNonZero);
}

bool IsCopied(char c) {
    return c == ' ' || c == '-' || c == '+' || c == '(' || c == ')' || c == '$';
}

}  // namespace

std::string FormatNumber(double value, std::string_view mask) {
    // Parse the mask into its integer part, the point and its fraction part.
    std::vector<Item> integerItems;
    std::vector<Item> fractionItems;
    bool hasPoint = false;
    bool filled = false;
    char fill = ' ';
    for (size_t i = 0; i < mask.size(); ++i) {
        char c = mask[i];
        std::vector<Item>& items = hasPoint ? fractionItems : integerItems;
        if (c == '#') {
            items.push_back({Slot::hash, 0});
        } else if (c == '0') {
            items.push_back({Slot::zero, 0});
        } else if (c == '.' && !hasPoint) {
            hasPoint = true;
        } else if (c == '*' && !hasPoint && i + 1 < mask.size()) {
            filled = true;
            fill = mask[++i];
            integerItems.push_back({Slot::fill, 0});
            integerItems.push_back({Slot::fill, 0});
        } else if (IsCopied(c)) {
            items.push_back({Slot::literal, c});
        }
    }

    int fractionPositions = 0;
    for (const Item& item : fractionItems)
        if (item.kind != Slot::literal) ++fractionPositions;
    int integerPositions = 0;
    Slot lastIntegerKind = Slot::literal;
    for (const Item& item : integerItems) {
        if (item.kind != Slot::literal) {
            ++integerPositions;
            lastIntegerKind = item.kind;
        }
    }

    std::string integerDigits;
    std::string fractionDigits;
    DecimalDigits(std::isfinite(value) ? value : 0.0, fractionPositions, integerDigits,
                  fractionDigits);
    bool negative = value < 0 && std::isfinite(value) &&
                    (!integerDigits.empty() ||
                     fractionDigits.find_first_not_of('0') != std::string::npos);
    if (integerDigits.empty() && (lastIntegerKind == Slot::hash || lastIntegerKind == Slot::zero))
        integerDigits.push_back('0');  // an empty string: one zero digit

    // Integer part: digits right-aligned onto the positions; `tags` marks what each
    // output character is, so the minus sign can find its place.
    std::string out;
    std::string tags;  // 'f' fill, 'd' digit, 'l' literal
    const int digitCount = static_cast<int>(integerDigits.size());
    const int unused = integerPositions - digitCount;  // < 0: the field widens
    int position = 0;
    bool overflowPlaced = false;
    auto placeOverflow = [&]() {
        if (overflowPlaced) return;
        overflowPlaced = true;
        for (int d = 0; d < -unused; ++d) {
            out.push_back(integerDigits[static_cast<size_t>(d)]);
            tags.push_back('d');
        }
    };
    for (const Item& item : integerItems) {
        if (item.kind == Slot::literal) {
            out.push_back(item.ch);
            tags.push_back('l');
            continue;
        }
        placeOverflow();
        int d = position - unused;  // index into integerDigits when >= 0
        ++position;
        if (d >= 0) {
            out.push_back(integerDigits[static_cast<size_t>(d)]);
            tags.push_back('d');
        } else if (item.kind == Slot::zero) {
            out.push_back('0');
            tags.push_back('d');
        } else if (filled) {
            out.push_back(fill);
            tags.push_back('f');
        }
    }
    placeOverflow();  // a mask without integer positions still shows the integer

    if (negative) {
        size_t at = tags.find('d');
        if (at == std::string::npos) at = tags.size();
        out.insert(at, 1, '-');
        tags.insert(at, 1, 'd');
        size_t freeFill = tags.find('f');
        if (freeFill != std::string::npos && freeFill < at) {
            out.erase(freeFill, 1);
            tags.erase(freeFill, 1);
        }
    }

    if (!hasPoint) return out;

    // Fraction part: trailing "#" positions holding zeros are dropped.
    std::vector<char> shown;  // per fraction position: the digit, or 0 when dropped
    shown.reserve(static_cast<size_t>(fractionPositions));
    {
        int k = 0;
        for (const Item& item : fractionItems)
            if (item.kind != Slot::literal) shown.push_back(fractionDigits[static_cast<size_t>(k++)]);
        k = fractionPositions - 1;
        for (auto it = fractionItems.rbegin(); it != fractionItems.rend() && k >= 0; ++it) {
            if (it->kind == Slot::literal) continue;
            if (it->kind != Slot::hash || shown[static_cast<size_t>(k)] != '0') break;
            shown[static_cast<size_t>(k--)] = 0;
        }
    }
    bool anyShown = fractionPositions == 0;
    for (char c : shown)
        if (c) anyShown = true;
    if (anyShown) out.push_back('.');
    int k = 0;
    for (const Item& item : fractionItems) {
        if (item.kind == Slot::literal) {
            out.push_back(item.ch);
        } else if (char c = shown[static_cast<size_t>(k++)]) {
            out.push_back(c);
        }
    }
    return out;
}
