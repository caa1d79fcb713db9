// Any text typed into a prompt: the typed-number readers must give a number,
// never NaN, and the masks must format whatever they give.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/link_internal.h"
#include "text/format_number.h"
#include "text/typed_number.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const double value = ParseTypedNumber(text);
    if (std::isnan(value)) __builtin_trap();
    (void)DecimalValue(text);
    for (const char* mask : {"* ##", "* .0 ", "###.##", "* #.00", "######## "}) {
        const std::string shown = FormatNumber(value, mask);
        if (std::isfinite(value) && shown.empty()) __builtin_trap();
    }
    return 0;
}
