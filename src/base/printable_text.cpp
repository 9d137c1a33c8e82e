#include "base/printable_text.h"

#include <cstdint>

#include "base/text_helpers.h"

namespace lum2 {

namespace {

// Code points that are valid UTF-8 but would act on the display: C1
// controls (a terminal may take U+009B for an escape sequence's start),
// line and paragraph separators (a window breaks the line there), and the
// bidirectional controls that make the rest of a line read in another order.
bool ActsOnTheDisplay(uint32_t code) {
    return (code >= 0x80 && code <= 0x9F) || code == 0x2028 || code == 0x2029 || (code >= 0x202A && code <= 0x202E) ||
           (code >= 0x2066 && code <= 0x2069);
}

// How many bytes from at form one character that may be shown as it is;
// 0 when the byte at must be escaped.
std::size_t PrintableLength(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) return lead >= 0x20 && lead != 0x7F ? 1 : 0;
    const std::size_t length = Utf8SequenceLength(lead);
    if (length == 0 || text.size() - at < length) return 0;
    // The lead's own bits of the code point: 5, 4 or 3 of them.
    uint32_t code = lead & (0x7Fu >> length);
    // Shorter forms of a code point are not UTF-8.
    static constexpr uint32_t kLowest[] = {0, 0, 0x80, 0x800, 0x10000};
    const uint32_t lowest = kLowest[length];
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) return 0;
        code = (code << 6) | (next & 0x3F);
    }
    if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) || ActsOnTheDisplay(code)) return 0;
    return length;
}

void AppendEscape(std::string& out, unsigned char byte) {
    switch (byte) {
    case '\n': out += "\\n"; return;
    case '\t': out += "\\t"; return;
    case '\r': out += "\\r"; return;
    default: break;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

}  // namespace

std::string PrintableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = PrintableLength(text, at);
        if (length == 0) {
            AppendEscape(out, static_cast<unsigned char>(text[at]));
            ++at;
            continue;
        }
        if (text[at] == '\\') {
            const std::size_t next = at + 1;
            const bool wouldEscape =
                next < text.size() && (PrintableLength(text, next) == 0 ||
                                       std::string_view("\\ntrx").find(text[next]) != std::string_view::npos);
            out += wouldEscape ? "\\\\" : "\\";
        } else {
            out.append(text, at, length);
        }
        at += length;
    }
    return out;
}

}  // namespace lum2
