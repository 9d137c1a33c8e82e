// Feeds arbitrary bytes to the Doc reader as a .pdb file: every status is
// fine, reading or writing out of bounds is not.
#include <cstdint>
#include <cstdio>

#include "doc/doc_extractor.h"
#include "lum2/lum2.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    lum2::CodecFunctions codec;
    codec.Compress = &Compress;
    codec.DeCompress = &DeCompress;
    codec.GetUncompSize = &GetUncompSize;
    codec.CalcPalmTime = &CalcPalmTime;
    lum2::ProgressSink progress;

    // fmemopen refuses a zero-sized buffer; a one-byte view of nothing stands in.
    static uint8_t none = 0;
    std::FILE* doc = size > 0 ? fmemopen(const_cast<uint8_t*>(data), size, "rb") : fmemopen(&none, 1, "rb");
    std::FILE* text = std::fopen("/dev/null", "wb");
    if (doc != nullptr && text != nullptr) {
        lum2::ExtractDocText(doc, text, codec, progress);
    }
    if (doc != nullptr) std::fclose(doc);
    if (text != nullptr) std::fclose(text);
    return 0;
}
