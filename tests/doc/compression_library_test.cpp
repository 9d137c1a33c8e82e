// Loading liblum2.so at run time: found, missing, or lacking an operation.
#include <gtest/gtest.h>

#include "doc/compression_library.h"
#include "lum2/lum2.h"
#include "temp_dir.h"

namespace lum2 {
namespace {

TEST(CompressionLibrary, LoadsTheFirstCompleteLibraryOrSaysWhatIsMissing) {
    test::TempDir empty;
    CompressionLibrary library;
    EXPECT_FALSE(library.Load({empty.Path()}));
    EXPECT_EQ(library.Error(), "Fatal Error: liblum2.so not found");
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_FALSE(library.Load({std::string(LUM2_BIN_DIR) + "/incomplete"}));
    EXPECT_NE(library.Error().find("DeCompress"), std::string::npos) << library.Error();
    EXPECT_FALSE(library.IsLoaded());

    // The first folder lacks the library; the search goes on to the next.
    ASSERT_TRUE(library.Load({empty.Path(), LUM2_BIN_DIR})) << library.Error();
    const auto& codec = library.Functions();
    const uint8_t text[] = "abcabcabcabc";
    uint8_t packed[64], back[12];
    const int32_t size = codec.Compress(packed, sizeof packed, text, 12);
    ASSERT_GT(size, 0);
    EXPECT_EQ(codec.GetUncompSize(packed, size), 12);
    EXPECT_EQ(codec.DeCompress(back, 12, packed, size), 12);
    EXPECT_EQ(std::string(back, back + 12), "abcabcabcabc");
    EXPECT_GT(codec.CalcPalmTime(), 2082844800u);
}

}  // namespace
}  // namespace lum2
