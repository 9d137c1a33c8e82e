// Feeds arbitrary bytes to the store as lumdata.dat: a file damaged on disk
// or written by something else must be read, extended and rewritten without
// a crash, a leak or a read outside the file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tasks/record_store.h"
#include "tasks/store_layout.h"

namespace {

std::string MakeFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "lum2fuzz.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern + "/";
}

void Exercise(const std::string& folder) {
    lum2::RecordStore store;
    store.OpenStore(folder);
    const int count = store.RecordCount();
    // Keep the fuzzer's time on the decoding, not on very long inputs.
    for (int n = 1; n <= count && n <= 64; ++n) {
        const lum2::TaskRecord record = store.GetRecord(n);
        (void)record.HasOption(lum2::kOptionCompress);
        (void)record.InstallChecked(0);
    }
    lum2::TaskRecord settings = store.GetRecord(lum2::kSettingsRecord);
    settings.status = settings.pcfile;  // long text into a short field
    store.PutRecord(lum2::kSettingsRecord, settings);

    lum2::TaskRecord task = count >= lum2::kFirstTaskRecord ? store.GetRecord(lum2::kFirstTaskRecord) : lum2::DefaultClipboardRecord();
    task.taskid = store.NewTaskId();
    store.PutRecord(store.RecordCount() + 1, task);
    if (store.RecordCount() > lum2::kFirstTaskRecord) store.DeleteRecord(lum2::kFirstTaskRecord);
    store.Close();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string folder = MakeFolder();
    {
        std::FILE* file = std::fopen((folder + "lumdata.dat").c_str(), "wb");
        if (file == nullptr) std::abort();
        if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
        std::fclose(file);
    }
    // The folder is fresh and writable, so whatever the bytes, the store
    // must set a bad file aside and carry on: any error here is a finding.
    try {
        Exercise(folder);
    } catch (const lum2::StoreError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        std::abort();
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
