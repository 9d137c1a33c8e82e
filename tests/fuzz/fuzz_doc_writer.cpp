// Writes a text with options, category and database name taken from the
// input as a Doc file, then reads it back: the text must be the filtered text
// byte for byte, and header, DocInfo and record 0 must say what was asked.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "doc/doc_builder.h"
#include "doc/doc_extractor.h"
#include "doc/palm_doc_format.h"
#include "base/progress_sink.h"
#include "convert/task_options.h"
#include "text/text_filters.h"
#include "fuzz_support.h"
#include "tasks/task_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    // data[0]: option bits; data[1]: TAB width; data[2]: category;
    // data[3]: times the payload is repeated; data[4]: name length, then the
    // name; the rest: the payload.
    lum2::TaskRecord task;
    task.options = "000000";
    for (int position = 1; position <= 6; ++position) {
        if ((data[0] >> (position - 1)) & 1u) task.options[position - 1] = '1';
    }
    task.tabspace = static_cast<int16_t>(data[1] % 16);
    const int category = data[2];
    const std::size_t repeats = data[3] % 4 + 1;
    const std::size_t nameLength = std::min<std::size_t>(data[4] % 40, size - 5);
    const std::string name(reinterpret_cast<const char*>(data) + 5, nameLength);
    const std::string_view payload(reinterpret_cast<const char*>(data) + 5 + nameLength, size - 5 - nameLength);
    if (payload.empty()) return 0;
    std::string text;
    for (std::size_t i = 0; i < repeats; ++i) text.append(payload);

    const std::string& folder = lum2::fuzz::ScratchFolder();
    lum2::fuzz::WriteFile(folder + "in.txt", text);
    lum2::ProgressSink silent;
    std::string filteredPath;
    if (!lum2::ApplyFilters(folder + "in.txt", lum2::FilterOptionsOf(task), folder, silent, filteredPath).Ok()) {
        lum2::fuzz::Mismatch("filter failed", text, "");
    }
    const std::string filtered = lum2::fuzz::ReadFile(filteredPath);

    const lum2::CodecFunctions codec = lum2::fuzz::Codec();
    const std::string docPath = folder + "out.pdb";
    lum2::DocBuildRequest request{filteredPath, name, task.HasOption(lum2::kOptionCompress), category};
    std::FILE* doc = std::fopen(docPath.c_str(), "w+b");
    if (doc == nullptr) std::abort();
    const lum2::Outcome built = lum2::BuildDocFile(request, doc, codec, silent);
    std::fclose(doc);
    if (filtered.empty()) {
        if (built.code != lum2::OutcomeCode::kEmpty) lum2::fuzz::Mismatch("empty text", lum2::kStatusTextEmpty, built.status);
        return 0;
    }
    if (!built.Ok()) lum2::fuzz::Mismatch("build", lum2::kStatusOk, built.status);

    doc = std::fopen(docPath.c_str(), "rb");
    const std::string backPath = folder + "back.txt";
    std::FILE* back = std::fopen(backPath.c_str(), "wb");
    if (doc == nullptr || back == nullptr) std::abort();
    const lum2::Outcome read = lum2::ExtractDocText(doc, back, codec, silent);
    std::fclose(back);
    if (!read.Ok()) lum2::fuzz::Mismatch("read back", lum2::kStatusOk, read.status);
    const std::string got = lum2::fuzz::ReadFile(backPath);
    if (got != filtered) lum2::fuzz::Mismatch("text read back", filtered, got);

    // The name field holds at most 31 bytes of the name and a NUL after them.
    const std::string field = lum2::ReadTextAt(doc, 0, 32);
    const std::size_t stored = std::min<std::size_t>(name.size(), 31);
    if (field.compare(0, stored, name, 0, stored) != 0 || field[stored] != '\0') {
        lum2::fuzz::Mismatch("name field", name.substr(0, stored) + '\0', field.substr(0, stored + 1));
    }
    lum2::PalmHeader header;
    lum2::DocInfo info;
    if (!lum2::CheckDocFile(doc, header, info).Ok()) std::abort();
    const int records = static_cast<int>((filtered.size() + 4095) / 4096);
    if (info.recordCount != records || header.totalRecords != records + 1 ||
        info.version != (request.compressed ? 2 : 1)) {
        lum2::fuzz::Mismatch("DocInfo", "", "");
    }
    if (info.category != (category & 0x0F)) {
        lum2::fuzz::Mismatch("category", std::to_string(category & 0x0F), std::to_string(info.category));
    }
    std::fclose(doc);
    return 0;
}
