#include "text/palm_charset.h"

#include <iconv.h>
#include <locale.h>
#include <utf8proc.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "base/text_helpers.h"

namespace lum2 {

namespace {

// Where Palm OS's Latin set differs from Windows-1252 (which glibc's iconv
// supplies): the card suits fill 0x8D-0x90, and Palm OS 3.5 has no glyph for
// 0x9B and 0x9E; those two, like the bytes Windows-1252 leaves undefined,
// stand for the C1 control of the same number.
struct PalmOwnByte {
    uint8_t byte;
    char32_t character;
};
constexpr PalmOwnByte kPalmBytes[] = {
    {0x8D, U'\u2666'}, {0x8E, U'\u2663'}, {0x8F, U'\u2665'}, {0x90, U'\u2660'},  // diamond club heart spade
    {0x9B, U'\u009B'}, {0x9E, U'\u009E'},
};
// Stand-ins for the Windows-1252 characters the Palm set lacks: Z caron,
// z caron, single right guillemet.
struct StandInEntry {
    char32_t character;
    uint8_t windows1252;
    char standIn;
};
constexpr StandInEntry kMissing[] = {{U'\u017D', 0x8E, 'Z'}, {U'\u017E', 0x9E, 'z'}, {U'\u203A', 0x9B, '>'}};

// Both directions of the set, built once from iconv's Windows-1252.
struct Tables {
    std::array<char32_t, 256> character{};
    std::array<std::string, 256> utf8;
    // The byte of each character up to the last one the set holds (the
    // spade, U+2660), -1 if none: one look-up per character.
    std::vector<int16_t> byteOf;

    Tables() {
        for (int b = 0; b < 256; ++b) character[b] = static_cast<char32_t>(b);
        iconv_t cd = iconv_open("UTF-32LE", "CP1252");
        if (cd != reinterpret_cast<iconv_t>(-1)) {
            for (int b = 0x80; b < 0x100; ++b) {
                char in = static_cast<char>(b);
                unsigned char out[4] = {};
                char* inPtr = &in;
                char* outPtr = reinterpret_cast<char*>(out);
                std::size_t inLeft = 1;
                std::size_t outLeft = sizeof out;
                iconv(cd, nullptr, nullptr, nullptr, nullptr);
                if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == 0 && outLeft == 0) {
                    character[b] = out[0] | (out[1] << 8) | (out[2] << 16) | (static_cast<char32_t>(out[3]) << 24);
                }
            }
            iconv_close(cd);
        }
        for (const PalmOwnByte& entry : kPalmBytes) character[entry.byte] = entry.character;
        char32_t last = 0;
        for (const char32_t c : character) last = std::max(last, c);
        byteOf.assign(last + 1, -1);
        for (int b = 0; b < 256; ++b) {
            const char32_t c = character[b];
            byteOf[c] = static_cast<int16_t>(b);
            unsigned char bytes[4];
            const auto length = utf8proc_encode_char(static_cast<utf8proc_int32_t>(c), bytes);
            utf8[b].assign(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
        }
    }
};

const Tables& PalmTables() {
    static const Tables tables;
    return tables;
}

// A character that never combines with the one before it under NFC.
bool StartsComposition(char32_t c) {
    const utf8proc_property_t* property = utf8proc_get_property(static_cast<utf8proc_int32_t>(c));
    if (property->combining_class != 0) return false;
    if (property->category == UTF8PROC_CATEGORY_MN || property->category == UTF8PROC_CATEGORY_MC ||
        property->category == UTF8PROC_CATEGORY_ME) {
        return false;
    }
    return !(c >= 0x1160 && c <= 0x11FF);  // Hangul vowels and final consonants join a syllable
}

// Text held back without any ASCII byte (which always starts a new
// composition) is cut at another safe place once it grows this long.
constexpr std::size_t kMaxPending = 64 * 1024;

}  // namespace

char32_t PalmCharacter(uint8_t byte) { return PalmTables().character[byte]; }

int PalmByte(char32_t c) {
    const Tables& tables = PalmTables();
    return c < tables.byteOf.size() ? tables.byteOf[c] : -1;
}

void AppendUtf8FromPalm(std::string_view palm, std::string& out) {
    const Tables& tables = PalmTables();
    std::size_t i = 0;
    while (i < palm.size()) {
        std::size_t run = i;
        while (run < palm.size() && static_cast<unsigned char>(palm[run]) < 0x80) ++run;
        out.append(palm.data() + i, run - i);
        if (run == palm.size()) break;
        out.append(tables.utf8[static_cast<unsigned char>(palm[run])]);
        i = run + 1;
    }
}

struct PalmTextEncoder::Cache {
    std::unordered_map<char32_t, std::string> standIns;
    iconv_t translit = reinterpret_cast<iconv_t>(-1);
    // glibc takes its stand-ins from the locale; C.UTF-8 holds the general
    // ones and those that drop accents, whatever the user's locale is.
    locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));

    ~Cache() {
        if (translit != reinterpret_cast<iconv_t>(-1)) iconv_close(translit);
        if (locale != static_cast<locale_t>(nullptr)) freelocale(locale);
    }
};

PalmTextEncoder::PalmTextEncoder() : cache_(new Cache) {}

PalmTextEncoder::~PalmTextEncoder() { delete cache_; }

const std::string& PalmTextEncoder::StandIn(char32_t c) {
    const auto found = cache_->standIns.find(c);
    if (found != cache_->standIns.end()) return found->second;

    std::string standIn = "?";
    for (const StandInEntry& entry : kMissing) {
        if (entry.character == c) standIn = std::string(1, entry.standIn);
    }
    if (standIn == "?") {
        const locale_t previous = cache_->locale != static_cast<locale_t>(nullptr) ? uselocale(cache_->locale)
                                                                                   : static_cast<locale_t>(nullptr);
        if (cache_->translit == reinterpret_cast<iconv_t>(-1))
            cache_->translit = iconv_open("CP1252//TRANSLIT", "UTF-32LE");
        if (cache_->translit != reinterpret_cast<iconv_t>(-1)) {
            unsigned char in[4] = {static_cast<unsigned char>(c), static_cast<unsigned char>(c >> 8),
                                   static_cast<unsigned char>(c >> 16), static_cast<unsigned char>(c >> 24)};
            char out[32];
            char* inPtr = reinterpret_cast<char*>(in);
            char* outPtr = out;
            std::size_t inLeft = sizeof in;
            std::size_t outLeft = sizeof out;
            iconv(cache_->translit, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cache_->translit, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1)) {
                standIn.assign(out, static_cast<std::size_t>(outPtr - out));
                // A stand-in may itself use a Windows-1252 character the Palm set lacks.
                for (char& byte : standIn) {
                    for (const StandInEntry& entry : kMissing) {
                        if (static_cast<unsigned char>(byte) == entry.windows1252) byte = entry.standIn;
                    }
                }
            }
        }
        if (previous != static_cast<locale_t>(nullptr)) uselocale(previous);
    }
    return cache_->standIns.emplace(c, std::move(standIn)).first->second;
}

void PalmTextEncoder::PutCharacter(char32_t c, std::string& out) {
    const int byte = PalmByte(c);
    if (byte >= 0) {
        out.push_back(static_cast<char>(byte));
        return;
    }
    ++replaced_;
    out.append(StandIn(c));
}

void PalmTextEncoder::Convert(std::string_view text, std::string& out) {
    if (text.empty()) return;
    if (atStart_) {
        atStart_ = false;
        if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    }
    // ASCII and every character of the set are precomposed, never combine
    // with a neighbour and are their own NFC form, so they map one by one.
    // Only a stretch around anything else goes through NFC: from the last
    // ASCII character before it (which may be the base of an accent) to the
    // next ASCII character. The piece starts where composition cannot reach
    // back across, so its start counts as ASCII.
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t asciiAt = 0;
    std::size_t asciiOut = out.size();
    std::size_t i = 0;
    while (i < n) {
        std::size_t run = i;
        while (run + 8 <= n) {
            uint64_t word;
            std::memcpy(&word, bytes + run, sizeof word);
            if ((word & 0x8080808080808080ull) != 0) break;
            run += 8;
        }
        while (run < n && bytes[run] < 0x80) ++run;
        if (run > i) {
            out.append(text.data() + i, run - i);
            asciiAt = run - 1;
            asciiOut = out.size() - 1;
        }
        if (run == n) return;
        i = run;
        // Only well-formed two- and three-byte forms can be in the set.
        const auto continues = [&](std::size_t k) { return k < n && (bytes[k] & 0xC0) == 0x80; };
        char32_t c = 0;
        std::size_t length = 0;
        if (bytes[i] >= 0xC2 && bytes[i] < 0xE0 && continues(i + 1)) {
            c = (static_cast<char32_t>(bytes[i] & 0x1F) << 6) | (bytes[i + 1] & 0x3F);
            length = 2;
        } else if (bytes[i] >= 0xE0 && bytes[i] < 0xF0 && continues(i + 1) && continues(i + 2)) {
            c = (static_cast<char32_t>(bytes[i] & 0x0F) << 12) | (static_cast<char32_t>(bytes[i + 1] & 0x3F) << 6) |
                (bytes[i + 2] & 0x3F);
            length = c < 0x800 ? 0 : 3;
        }
        const int byte = length != 0 ? PalmByte(c) : -1;
        if (byte >= 0) {
            out.push_back(static_cast<char>(byte));
            i += length;
            continue;
        }
        std::size_t end = i;
        while (end < n && bytes[end] >= 0x80) ++end;
        out.resize(asciiOut);
        ConvertComposed(text.substr(asciiAt, end - asciiAt), out);
        i = end;
    }
}

void PalmTextEncoder::ConvertComposed(std::string_view text, std::string& out) {
    utf8proc_uint8_t* composed = nullptr;
    const utf8proc_ssize_t length =
        utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(text.data()), static_cast<utf8proc_ssize_t>(text.size()),
                     &composed, static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE));
    std::string_view source = text;
    if (length >= 0)
        source = std::string_view(reinterpret_cast<const char*>(composed), static_cast<std::size_t>(length));
    const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(source.data());
    std::size_t i = 0;
    while (i < source.size()) {
        if (bytes[i] < 0x80) {
            out.push_back(static_cast<char>(bytes[i++]));
            continue;
        }
        utf8proc_int32_t c = 0;
        const utf8proc_ssize_t used = utf8proc_iterate(bytes + i, static_cast<utf8proc_ssize_t>(source.size() - i), &c);
        if (used <= 0) {
            // Not UTF-8 (only when the text changed after it was checked).
            ++replaced_;
            out.push_back('?');
            ++i;
            continue;
        }
        PutCharacter(static_cast<char32_t>(c), out);
        i += static_cast<std::size_t>(used);
    }
    std::free(composed);
}

void PalmTextEncoder::Feed(std::string_view utf8, std::string& out) {
    pending_.append(utf8);
    // An ASCII character never combines with what precedes it, so everything
    // before the last one is final.
    std::size_t cut = pending_.size();
    while (cut > 0 && static_cast<unsigned char>(pending_[cut - 1]) >= 0x80) --cut;
    if (cut > 0) {
        --cut;
    } else if (pending_.size() > kMaxPending) {
        // No ASCII at all: cut before the last character that starts a
        // composition, or, in a run of nothing but accents, before the last
        // character (such a run composes with nothing anyway).
        std::size_t lastLead = 0;
        for (std::size_t at = pending_.size(); at-- > 1;) {
            const auto* p = reinterpret_cast<const utf8proc_uint8_t*>(pending_.data() + at);
            if ((*p & 0xC0) == 0x80) continue;
            if (lastLead == 0) lastLead = at;
            utf8proc_int32_t c = 0;
            if (utf8proc_iterate(p, static_cast<utf8proc_ssize_t>(pending_.size() - at), &c) > 0 &&
                StartsComposition(static_cast<char32_t>(c))) {
                cut = at;
                break;
            }
        }
        if (cut == 0) cut = lastLead;
    }
    if (cut == 0) return;
    Convert(std::string_view(pending_.data(), cut), out);
    pending_.erase(0, cut);
}

void PalmTextEncoder::Finish(std::string& out) {
    Convert(pending_, out);
    pending_.clear();
}

std::string PalmFromUtf8(std::string_view utf8, uint64_t* replaced) {
    PalmTextEncoder encoder;
    std::string out;
    encoder.Feed(utf8, out);
    encoder.Finish(out);
    if (replaced != nullptr) *replaced = encoder.Replaced();
    return out;
}

void Utf8Scanner::Feed(std::string_view bytes) {
    if (!valid_) return;
    const auto* p = reinterpret_cast<const utf8proc_uint8_t*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    utf8proc_int32_t c = 0;
    if (carried_ > 0) {
        while (carried_ < needed_ && i < n) carry_[carried_++] = p[i++];
        if (carried_ < needed_) return;
        if (utf8proc_iterate(carry_, static_cast<utf8proc_ssize_t>(carried_), &c) !=
            static_cast<utf8proc_ssize_t>(carried_)) {
            valid_ = false;
            return;
        }
        carried_ = 0;
    }
    while (i < n) {
        // Most text is ASCII: skip it eight bytes at a time.
        while (i + 8 <= n) {
            uint64_t word;
            std::memcpy(&word, p + i, sizeof word);
            if ((word & 0x8080808080808080ull) != 0) break;
            i += 8;
        }
        if (i == n) break;
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        nonAscii_ = true;
        const std::size_t length = Utf8SequenceLength(p[i]);
        if (length == 0) {
            valid_ = false;
            return;
        }
        if (i + length > n) {
            needed_ = length;
            carried_ = n - i;
            std::memcpy(carry_, p + i, carried_);
            // The continuation bytes seen so far must already be right.
            for (std::size_t k = 1; k < carried_; ++k) {
                if ((carry_[k] & 0xC0) != 0x80) valid_ = false;
            }
            return;
        }
        if (utf8proc_iterate(p + i, static_cast<utf8proc_ssize_t>(length), &c) !=
            static_cast<utf8proc_ssize_t>(length)) {
            valid_ = false;
            return;
        }
        i += length;
    }
}

bool ScanFile(std::FILE* file, Utf8Scanner& scanner) {
    char buffer[1 << 16];
    for (;;) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, file);
        scanner.Feed(std::string_view(buffer, got));
        if (got < sizeof buffer) return std::ferror(file) == 0;
    }
}

}  // namespace lum2
