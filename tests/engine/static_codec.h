// The codec linked into the test, in the form the converters take it.
#pragma once

#include "engine/compression_library.h"
#include "lum2/lum2.h"

namespace lum2::test {

inline CodecFunctions StaticCodec() {
    CodecFunctions codec;
    codec.Compress = &::Compress;
    codec.DeCompress = &::DeCompress;
    codec.GetUncompSize = &::GetUncompSize;
    codec.CalcPalmTime = &::CalcPalmTime;
    return codec;
}

}  // namespace lum2::test
