// Escaping of texts written one per line: any bytes escape to one line of printable text
// and unescape back to themselves; any text unescapes without harm, and what it gives
// escapes back to a text that unescapes the same.
#include "support/line_escape.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string escaped = qx::text::escape(bytes);
    const auto control = [](char c) { return c >= 0 && (c < ' ' || c == 0x7F); };
    qx::fuzz::check(std::none_of(escaped.begin(), escaped.end(), control));
    std::string back, read, again;
    qx::fuzz::check(qx::text::unescape(escaped, &back) && back == bytes);
    if (qx::text::unescape(bytes, &read)) {
        qx::fuzz::check(qx::text::unescape(qx::text::escape(read), &again) && again == read);
    }
    return 0;
}
