// The character set of Doc text and its conversion to and from UTF-8.
//
// A Doc file has no encoding field: Western handhelds show its bytes in Palm
// OS's Latin set, which is Windows-1252 with the card suits at 0x8D-0x90 and
// without Z/z caron and the single right guillemet. PC texts are UTF-8. The
// encoder composes the text (NFC), maps what the set holds to its byte and
// gives everything else its usual plain-text stand-in ("->" for an arrow, "o"
// for o with double acute) or "?". All of it streams in constant memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace lum2 {

// The Unicode character a byte of the Palm set shows. The few bytes the set
// leaves undefined stand for the C1 control of the same number, so every
// byte survives the round trip through UTF-8.
char32_t PalmCharacter(uint8_t byte);
// The byte of the Palm set that shows c, or -1 if the set lacks it.
int PalmByte(char32_t c);

// Appends the UTF-8 form of Palm-set text to out.
void AppendUtf8FromPalm(std::string_view palm, std::string& out);

// Converts UTF-8 text to the Palm set, fed in pieces of any size: a
// character, or a letter and its combining accents, split between two pieces
// converts as if it were whole. A byte-order mark at the very start is
// dropped. Bytes that are not UTF-8 become "?" (callers check validity first).
class PalmTextEncoder {
public:
    PalmTextEncoder();
    ~PalmTextEncoder();
    PalmTextEncoder(const PalmTextEncoder&) = delete;
    PalmTextEncoder& operator=(const PalmTextEncoder&) = delete;

    // Appends the converted form of everything fed so far that can no longer
    // change; holds back the rest (at most a few bytes for ordinary text).
    void Feed(std::string_view utf8, std::string& out);
    // Appends what was held back; the text is complete.
    void Finish(std::string& out);
    // Characters the set lacks, replaced by a stand-in or "?".
    uint64_t Replaced() const { return replaced_; }

private:
    void Convert(std::string_view text, std::string& out);
    void ConvertComposed(std::string_view text, std::string& out);
    void PutCharacter(char32_t c, std::string& out);
    const std::string& StandIn(char32_t c);

    struct Cache;
    Cache* cache_;  // stand-ins found so far and the iconv descriptor
    std::string pending_;
    bool atStart_ = true;
    uint64_t replaced_ = 0;
};

// The whole of a short UTF-8 text in the Palm set.
std::string PalmFromUtf8(std::string_view utf8, uint64_t* replaced = nullptr);

// Checks bytes fed in pieces of any size for well-formed UTF-8 (no overlong
// forms, no surrogates, nothing above U+10FFFF, no sequence cut off).
class Utf8Scanner {
public:
    void Feed(std::string_view bytes);
    // Valid and NonAscii describe everything fed once the input is complete.
    bool Valid() const { return valid_ && carried_ == 0; }
    bool NonAscii() const { return nonAscii_; }

private:
    bool valid_ = true;
    bool nonAscii_ = false;
    unsigned char carry_[4] = {};
    std::size_t carried_ = 0;  // bytes of a sequence cut off by the piece's end
    std::size_t needed_ = 0;   // the length that sequence claims
};

// Feeds the rest of an open file to scanner; false on a read error.
bool ScanFile(std::FILE* file, Utf8Scanner& scanner);

}  // namespace lum2
