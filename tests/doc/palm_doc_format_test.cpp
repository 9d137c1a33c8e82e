// The written Doc file, byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <tuple>

#include "base/byte_order.h"
#include "doc/bookmark_records.h"
#include "doc/doc_builder.h"
#include "doc/doc_extractor.h"
#include "base/file_handle.h"
#include "doc/palm_doc_format.h"
#include "static_codec.h"
#include "temp_dir.h"

namespace lum2 {
namespace {

using test::ReadFileBytes;

uint32_t LongAt(const std::vector<uint8_t>& b, std::size_t at) { return GetLong(&b[at]); }

class DocFileTest : public ::testing::Test {
protected:
    // Builds a database of text into a file and returns its bytes.
    std::vector<uint8_t> Build(const std::vector<uint8_t>& text, bool compressed, int category = 0,
                               const std::string& name = "book", std::string* status = nullptr) {
        test::WriteFileBytes(dir_.File("text"), text);
        DocBuildRequest request{dir_.File("text"), name, compressed, category, jobs_, bookmarks_};
        FileHandle doc(std::fopen(dir_.File("out.pdb").c_str(), "w+b"));
        const Outcome result = BuildDocFile(request, doc.get(), codec_, sink_);
        if (status != nullptr) *status = result.status;
        else EXPECT_EQ(result.status, "OK");
        doc.reset();
        return ReadFileBytes(dir_.File("out.pdb"));
    }

    // The text read back from the file built last.
    std::vector<uint8_t> ExtractBuilt(std::string& status) {
        FileHandle doc(std::fopen(dir_.File("out.pdb").c_str(), "rb"));
        FileHandle text(std::fopen(dir_.File("back").c_str(), "w+b"));
        status = ExtractDocText(doc.get(), text.get(), codec_, sink_).status;
        text.reset();
        return ReadFileBytes(dir_.File("back"));
    }

    // Words of English with a tab, a control character and high bytes.
    static std::vector<uint8_t> Words(std::size_t size, unsigned seed) {
        std::mt19937 random(seed);
        const std::string words = "the quick brown fox jumps over a lazy dog\n\t\x01\xE9\xFF";
        std::vector<uint8_t> text(size);
        for (auto& b : text) b = static_cast<uint8_t>(words[random() % words.size()]);
        return text;
    }

    test::TempDir dir_;
    CodecFunctions codec_ = test::StaticCodec();
    ProgressSink sink_;
    int jobs_ = 0;
    std::vector<Bookmark> bookmarks_;
};

TEST_F(DocFileTest, OneByteTextGivesThe111ByteFile) {
    auto file = Build({'x'}, false, 0, "a");
    // Creation and modification date carry the same Palm time, close to now.
    ASSERT_EQ(file.size(), 111u);
    EXPECT_EQ(LongAt(file, 36), LongAt(file, 40));
    EXPECT_NEAR(static_cast<double>(LongAt(file, 36)), static_cast<double>(CalcPalmTime()), 5.0);
    std::fill(file.begin() + 36, file.begin() + 44, 0);
    // The name, a NUL, blanks to 32 bytes; every other header field but type and creator is 0.
    std::vector<uint8_t> expected = {'a', 0};
    expected.resize(32, ' ');
    expected.resize(60, 0);
    expected.insert(expected.end(), {
        'T', 'E', 'X', 't', 'R', 'E', 'A', 'd',
        0, 0, 0, 0,                                      // unique id seed
        0, 0, 0, 0, 0, 2,                                // next list, 2 records
        0x00, 0x00, 0x00, 0x5E, 0x40, 0x6F, 0x80, 0x00,  // entry 0
        0x00, 0x00, 0x00, 0x6E, 0x40, 0x6F, 0x80, 0x01,  // entry 1
        0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01,  // DocInfo
        0x00, 0x01, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00,
        'x'});
    EXPECT_EQ(file, expected);
}

TEST_F(DocFileTest, CategoryAndUniqueIdsInTheEntries) {
    const auto file = Build(std::vector<uint8_t>(9000, 'c'), true, 21);
    ASSERT_EQ(GetWord(&file[76]), 4);
    EXPECT_EQ(file[82], 0x45);  // 21 keeps its low four bits: category 5
    for (int k = 0; k < 4; ++k) {
        const std::size_t entry = 78 + 8 * k;
        EXPECT_EQ((file[entry + 5] << 16) | (file[entry + 6] << 8) | file[entry + 7], 0x6F8000 + k);
        // Text records: attribute 0x40, and they follow each other in order.
        EXPECT_TRUE(k == 0 || (file[entry + 4] == 0x40 && LongAt(file, entry) > LongAt(file, entry - 8))) << k;
    }
    EXPECT_EQ(LongAt(file, 78), 78u + 32u);
    EXPECT_EQ(file[LongAt(file, 78) + 1], 2);  // compressed: version 2

    std::string status;
    Build({'x'}, false, 256, "book", &status);
    EXPECT_EQ(status, "Error: Could not open Palm or PC File");
}

TEST_F(DocFileTest, WriteFailureGivesItsStatusWithAnyNumberOfJobs) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    // More output than one write block, so the failure comes while records are in flight.
    test::WriteFileBytes(dir_.File("text"), Words(700 * 4096, 5));
    for (const int jobs : {1, 2, 8}) {
        DocBuildRequest request{dir_.File("text"), "book", true, 0, jobs};
        FileHandle doc(std::fopen("/dev/full", "w+b"));
        ASSERT_TRUE(doc);
        EXPECT_EQ(BuildDocFile(request, doc.get(), codec_, sink_).status, "Error: could not write Palm File record") << jobs;
    }
}

TEST_F(DocFileTest, RoundTripsEverySizeAndGivesTheSameFileWhateverTheNumberOfJobs) {
    std::mt19937 random(7);
    const std::vector<uint8_t> text = Words(70 * 4096 + 5, 3);
    // Other numbers of jobs are tried at the boundary sizes, before the random ones.
    std::vector<int> sizes = {1, 4096, 4097, 70 * 4096 + 5, 2, 3, 11, 4095, 8191, 8192, 8193, 3 * 4096};
    for (int i = 0; i < 40; ++i) sizes.push_back(1 + static_cast<int>(random() % (3 * 4096)));
    for (const bool compressed : {false, true}) {
        for (std::size_t k = 0; k < sizes.size(); ++k) {
            const std::vector<uint8_t> slice(text.begin(), text.begin() + sizes[k]);
            std::vector<uint8_t> one;
            for (const int jobs : {1, 2, 8}) {
                if (jobs > 1 && k >= 4) break;
                jobs_ = jobs;
                auto file = Build(slice, compressed);
                std::fill(file.begin() + 36, file.begin() + 44, 0);  // the dates may tick between two builds
                if (jobs == 1) one = file;
                EXPECT_EQ(file, one) << sizes[k] << " bytes, compressed " << compressed << ", " << jobs << " jobs";
            }
            std::string status;
            EXPECT_EQ(ExtractBuilt(status), slice) << sizes[k] << " compressed " << compressed;
            EXPECT_EQ(status, "OK");
            // A record per 4,096 bytes, the last one what is left, as the list and DocInfo say.
            const int records = (sizes[k] + 4095) / 4096;
            const std::size_t info = LongAt(one, 78), last = LongAt(one, 78 + 8 * records);
            EXPECT_TRUE(GetWord(&one[76]) == records + 1 && GetWord(&one[info + 8]) == records &&
                        LongAt(one, info + 4) == static_cast<uint32_t>(sizes[k])) << sizes[k];
            EXPECT_TRUE(compressed || one.size() - last == (sizes[k] - 1) % 4096 + 1u) << sizes[k];
        }
    }
}

TEST_F(DocFileTest, BookmarksFollowTheTextRecordsAndReadBackAsMarks) {
    // Two text records; names of 5, 15 and 16 bytes.
    bookmarks_ = {{0, "Start"}, {4096, "Fifteen bytes!!"}, {5000, "Sixteen bytes!!!"}};
    const std::string text = std::string(4096, 'a') + std::string(904, 'b');
    for (const bool compressed : {false, true}) {
        const auto file = Build(std::vector<uint8_t>(text.begin(), text.end()), compressed);
        ASSERT_EQ(GetWord(&file[76]), 6);  // DocInfo, two text records, three bookmarks
        EXPECT_EQ(GetWord(&file[LongAt(file, 78) + 8]), 2);  // DocInfo counts the text records only
        for (int k = 0; k < 3; ++k) {
            const std::size_t at = LongAt(file, 78 + 8 * (3 + k));
            const std::size_t end = k < 2 ? LongAt(file, 78 + 8 * (4 + k)) : file.size();
            ASSERT_EQ(end - at, 20u) << k;
            std::string name(16, '\0');
            const std::string& given = bookmarks_[k].name;
            name.replace(0, std::min<std::size_t>(given.size(), 15), given.substr(0, 15));
            EXPECT_EQ(std::string(file.begin() + at, file.begin() + at + 16), name) << k;
            EXPECT_EQ(LongAt(file, at + 16), bookmarks_[k].offset) << k;
            EXPECT_EQ(file[78 + 8 * (3 + k) + 4], 0x40) << k;
        }

        FileHandle doc(std::fopen(dir_.File("out.pdb").c_str(), "rb"));
        std::vector<Bookmark> read;
        ASSERT_TRUE(ReadDocBookmarks(doc.get(), read).Ok());
        ASSERT_EQ(read.size(), 3u);
        EXPECT_EQ(read[2].name, "Sixteen bytes!!");
        // Out of order on purpose, with one past the end of the text.
        std::vector<Bookmark> marks = {{5000, "End"}, {0, "Start"}, {4096, "B"}, {9999, "Past"}};
        FileHandle back(std::fopen(dir_.File("back").c_str(), "w+b"));
        ASSERT_TRUE(ExtractDocText(doc.get(), back.get(), codec_, sink_, false, &marks).Ok());
        back.reset();
        const auto marked = ReadFileBytes(dir_.File("back"));
        EXPECT_EQ(std::string(marked.begin(), marked.end()), "<* Start *>" + std::string(4096, 'a') + "<* B *>" +
                                                                   std::string(904, 'b') + "<* End *><* Past *>");
    }
    // DocInfo and one text record at least: the rest of 65,535 records.
    for (const auto& [textRecords, wanted, fit] : std::vector<std::tuple<int, std::size_t, int>>{
             {1, 70000, 65533}, {65533, 5, 1}, {65534, 5, 0}, {2, 3, 3}}) {
        EXPECT_EQ(BookmarksThatFit(textRecords, wanted), fit) << textRecords;
    }
}

// What the reader says of a file that is no Doc: the status of the check
// that fails, and in the cause what the file holds.
TEST_F(DocFileTest, AFileThatIsNoDocSaysWhatItHolds) {
    std::vector<uint8_t> jpeg(100000, 0);
    jpeg[0] = 0xFF, jpeg[1] = 0xD8, jpeg[2] = 0xFF;
    const std::tuple<std::vector<uint8_t>, OutcomeCode, std::string> cases[] = {
        {jpeg, OutcomeCode::kUnsupported, "not a Palm database: 100,000 bytes of JPEG data"},
        {std::vector<uint8_t>(81, 'x'), OutcomeCode::kCorrupt, "not a Palm database: 81 bytes of text"},
        {{}, OutcomeCode::kCorrupt, "the file is empty"}};
    for (const auto& [bytes, code, cause] : cases) {
        test::WriteFileBytes(dir_.File("in.pdb"), bytes);
        FileHandle doc(std::fopen(dir_.File("in.pdb").c_str(), "rb"));
        PalmHeader header;
        DocInfo info;
        const Outcome checked = CheckDocFile(doc.get(), header, info);
        EXPECT_EQ(checked.code, code) << cause;
        EXPECT_EQ(checked.cause, cause);
    }
}

TEST_F(DocFileTest, BuildRefusesMoreRecordsThanTheFormatHolds) {
    // A sparse file: 65,534 full records plus one byte, without writing 268 MB.
    const std::string path = dir_.File("huge");
    FileHandle big(std::fopen(path.c_str(), "wb"));
    ASSERT_EQ(std::fseek(big.get(), 65534L * 4096L, SEEK_SET), 0);
    std::fputc('x', big.get());
    big.reset();
    DocBuildRequest request{path, "huge", false, 0};
    FileHandle doc(std::fopen(dir_.File("out.pdb").c_str(), "w+b"));
    const Outcome built = BuildDocFile(request, doc.get(), codec_, sink_);
    EXPECT_EQ(built.code, OutcomeCode::kTooLong) << built.status;
    EXPECT_NE(built.status.find("65,534"), std::string::npos);
    EXPECT_EQ(test::ReadFileBytes(dir_.File("out.pdb")).size(), 0u);
}

}  // namespace
}  // namespace lum2
