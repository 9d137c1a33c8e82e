#include "base/text_helpers.h"

namespace lum2 {

std::size_t Utf8SequenceLength(unsigned char lead) noexcept {
    if (lead < 0x80) return 1;
    if (lead < 0xC2) return 0;
    if (lead < 0xE0) return 2;
    if (lead < 0xF0) return 3;
    if (lead < 0xF5) return 4;
    return 0;
}

std::size_t Utf8CutLength(std::string_view text, std::size_t maxBytes) noexcept {
    if (text.size() <= maxBytes) return text.size();
    // A sequence is at most four bytes long, so its lead is at most three
    // bytes before the first byte cut off; a longer run of continuation bytes
    // is damage, cut where it falls.
    const auto isContinuation = [&](std::size_t at) { return (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80; };
    std::size_t start = maxBytes;
    while (start > 0 && maxBytes - start < 3 && isContinuation(start)) --start;
    return Utf8SequenceLength(static_cast<unsigned char>(text[start])) > maxBytes - start ? start : maxBytes;
}

std::string RightTrim(const std::string& text) {
    const auto last = text.find_last_not_of(' ');
    return last == std::string::npos ? std::string() : text.substr(0, last + 1);
}

}  // namespace lum2
