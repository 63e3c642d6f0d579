// Escaping of texts written one per line: any bytes escape to one line of printable text
// and unescape back to themselves; any text unescapes without harm, and what it gives
// escapes back to a text that unescapes the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "support/line_escape.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string escaped = qx::text::escape(bytes);
    for (char c : escaped) {
        if (c >= 0 && (c < ' ' || c == 0x7F)) std::abort();  // a control byte got through
    }
    std::string back;
    if (!qx::text::unescape(escaped, &back) || back != bytes) std::abort();
    std::string read;
    if (qx::text::unescape(bytes, &read)) {
        std::string again;
        if (!qx::text::unescape(qx::text::escape(read), &again) || again != read) std::abort();
    }
    return 0;
}
