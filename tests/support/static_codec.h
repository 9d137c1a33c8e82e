// The codec linked into the test, in the form the converters take it.
#pragma once

#include "doc/compression_library.h"
#include "lum2/lum2.h"

namespace lum2::test {

inline CodecFunctions StaticCodec() {
    return {.Compress = &::Compress, .DeCompress = &::DeCompress, .GetUncompSize = &::GetUncompSize,
            .CalcPalmTime = &::CalcPalmTime};
}

}  // namespace lum2::test
