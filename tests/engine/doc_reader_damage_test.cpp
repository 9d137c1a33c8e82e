// Every damaged Doc file of the corpus ends in its own status, and the sound
// ones decode; expected.txt pairs each file with its status.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <set>

#include "engine/doc_extractor.h"
#include "lum2/lum2.h"
#include "static_codec.h"
#include "temp_dir.h"

namespace lum2 {
namespace {

TEST(DocReaderDamage, EveryFileOfTheCorpusEndsInItsStatus) {
    const std::string folder = std::string(LUM2_TEST_DATA) + "/docs/";
    std::ifstream manifest(folder + "expected.txt");
    ASSERT_TRUE(manifest) << "missing " << folder << "expected.txt";
    const CodecFunctions codec = test::StaticCodec();
    ProgressSink sink;
    test::TempDir dir;
    std::string line;
    int files = 0;
    std::set<std::string> statuses;
    while (std::getline(manifest, line)) {
        const auto tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        const std::string name = line.substr(0, tab);
        const std::string expected = line.substr(tab + 1);
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> doc(std::fopen((folder + name).c_str(), "rb"),
                                                            &std::fclose);
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> text(std::fopen(dir.File("out").c_str(), "w+b"),
                                                             &std::fclose);
        ASSERT_TRUE(doc && text) << name;
        EXPECT_EQ(ExtractDocText(doc.get(), text.get(), codec, sink), expected) << name;
        statuses.insert(expected);
        ++files;
    }
    EXPECT_GE(files, 20);
    // The corpus covers every status of the reader.
    for (const char* status : {"OK", "Error: unknown or corrupted Palm File header",
                               "Error: Palm File type or creator not supported",
                               "Error: Palm File corrupt or wrong format",
                               "Error: could not get DocInfo of Palm File",
                               "Error: DocInfo in Palm File unknown", "Error: Palm File corrupt",
                               "Error: Could not open Palm or PC File"}) {
        EXPECT_EQ(statuses.count(status), 1u) << status;
    }
}

TEST(DocReaderDamage, SoundFilesGiveTheirTextByteForByte) {
    const std::string folder = std::string(LUM2_TEST_DATA) + "/docs/";
    const CodecFunctions codec = test::StaticCodec();
    ProgressSink sink;
    test::TempDir dir;
    const std::pair<const char*, std::string> cases[] = {
        {"plain.pdb", "Hello, Palm.\nSecond line.\nThe end.\n"},
        {"compressed.pdb", "Hello, Palm.\nSecond line.\n\x80The end.\n"},
        {"version_word_0101.pdb", "Hello, Palm.\nSecond line.\n"},
        // Records after the text (bookmarks, notes) are not part of it.
        {"bookmarks_after_text.pdb", "Hello, Palm.\nSecond line.\n"},
        // An empty record is an empty piece of text, last or not.
        {"empty_last_record.pdb", "Hello, Palm.\nSecond line.\n"},
        {"empty_middle_record.pdb", "Hello, Palm.\nSecond line.\n\x80The end.\n"},
        {"compressed_6001_bytes.pdb", std::string(6001, 'a')},
        {"two_record_lists.pdb", "Hello, Palm.\nSecond line.\n"},
    };
    for (const auto& [name, text] : cases) {
        std::FILE* doc = std::fopen((folder + name).c_str(), "rb");
        std::FILE* out = std::fopen(dir.File("out").c_str(), "w+b");
        ASSERT_TRUE(doc && out);
        EXPECT_EQ(ExtractDocText(doc, out, codec, sink), "OK") << name;
        std::fclose(doc);
        std::fclose(out);
        EXPECT_EQ(test::ReadFileText(dir.File("out")), text) << name;
    }
}

}  // namespace
}  // namespace lum2
