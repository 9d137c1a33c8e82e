// Every Doc file of the corpus, sound or damaged, ends in its own status, and
// the sound ones give their text byte for byte; expected.txt pairs each file
// with its status.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <vector>

#include "doc/doc_extractor.h"
#include "base/file_handle.h"
#include "lum2/lum2.h"
#include "static_codec.h"
#include "temp_dir.h"

namespace lum2 {
namespace {

TEST(DocReaderDamage, EveryFileOfTheCorpusEndsInItsStatus) {
    const std::string folder = std::string(LUM2_TEST_DATA) + "/docs/";
    const std::string hello = "Hello, Palm.\nSecond line.\n", ended = hello + "\x80The end.\n";
    std::map<std::string, std::string> texts = {
        {"plain.pdb", "Hello, Palm.\nSecond line.\nThe end.\n"}, {"compressed.pdb", ended},
        {"version_word_0101.pdb", hello},
        // Records after the text (bookmarks, notes) are not part of it.
        {"bookmarks_after_text.pdb", hello},
        // An empty record is an empty piece of text, last or not.
        {"empty_last_record.pdb", hello}, {"empty_middle_record.pdb", ended},
        {"compressed_6001_bytes.pdb", std::string(6001, 'a')}, {"two_record_lists.pdb", hello}};
    std::ifstream manifest(folder + "expected.txt");
    ASSERT_TRUE(manifest) << "missing " << folder << "expected.txt";
    const CodecFunctions codec = test::StaticCodec();
    ProgressSink sink;
    test::TempDir dir;
    std::set<std::string> statuses;
    for (std::string line; std::getline(manifest, line);) {
        const auto tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        const std::string name = line.substr(0, tab), expected = line.substr(tab + 1);
        FileHandle doc(std::fopen((folder + name).c_str(), "rb")), text(std::fopen(dir.File("out").c_str(), "w+b"));
        ASSERT_TRUE(doc && text) << name;
        const Outcome read = ExtractDocText(doc.get(), text.get(), codec, sink);
        EXPECT_EQ(read.status, expected) << name;
        EXPECT_EQ(read.Ok(), expected == "OK") << name;
        // The same bytes in memory, as the fuzz targets read them, end the same way.
        std::vector<uint8_t> bytes = test::ReadFileBytes(folder + name);
        if (!bytes.empty()) {
            FileHandle memory(fmemopen(bytes.data(), bytes.size(), "rb")), none(std::fopen("/dev/null", "wb"));
            EXPECT_EQ(ExtractDocText(memory.get(), none.get(), codec, sink).status, expected) << name;
        }
        text.reset();
        if (expected == "OK") { EXPECT_EQ(test::ReadFileText(dir.File("out")), texts[name]) << name; }
        if (expected == "OK") texts.erase(name);
        statuses.insert(expected);
    }
    EXPECT_TRUE(texts.empty()) << "sound files missing from the corpus, such as " << texts.begin()->first;
    // The corpus covers every status of the reader.
    EXPECT_EQ(statuses, (std::set<std::string>{"OK", "Error: unknown or corrupted Palm File header",
                                               "Error: Palm File type or creator not supported",
                                               "Error: Palm File corrupt or wrong format",
                                               "Error: could not get DocInfo of Palm File",
                                               "Error: DocInfo in Palm File unknown", "Error: Palm File corrupt",
                                               "Error: Could not open Palm or PC File"}));
}

}  // namespace
}  // namespace lum2
