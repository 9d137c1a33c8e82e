#include "doc/doc_builder.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/block_writer.h"
#include "base/file_handle.h"
#include "base/safe_file.h"
#include "doc/palm_doc_format.h"
#include "lum2/lum2.h"

namespace lum2 {

namespace {

constexpr int kPackedCapacity = LUM2_COMPRESS_BOUND(kTextRecordSize);
// Beyond this many workers a machine gains little and each holds the
// codec's workspace; the cap keeps memory bounded on any machine.
constexpr int kMaximumJobs = 16;
// Records in flight per worker: enough that no worker waits for the reader.
constexpr int kRecordsPerJob = 4;
constexpr std::size_t kTextBuffer = std::size_t{1} << 16;

struct RecordSlot {
    uint8_t text[kTextRecordSize];
    uint8_t packed[kPackedCapacity];
    int32_t textSize = 0;
    int32_t packedSize = 0;
    bool done = false;
};

// Compresses records on worker threads, and on the calling thread while it
// waits for one. The caller fills the slots of a bounded window in record
// order and takes the results back in that order, so the file is the same
// whatever the number of jobs.
class RecordCompressor {
public:
    RecordCompressor(const CodecFunctions& codec, int jobs)
        : codec_(codec), slots_(static_cast<std::size_t>(jobs) * kRecordsPerJob) {
        // The calling thread is one of the jobs: it compresses while it waits.
        workers_.reserve(static_cast<std::size_t>(jobs - 1));
        try {
            for (int k = 1; k < jobs; ++k) workers_.emplace_back([this] { Work(); });
        } catch (...) {
            Stop();
            throw;
        }
    }

    ~RecordCompressor() { Stop(); }

    RecordCompressor(const RecordCompressor&) = delete;
    RecordCompressor& operator=(const RecordCompressor&) = delete;

    int64_t Window() const { return static_cast<int64_t>(slots_.size()); }
    // The slot of record sequence (0-based), free once sequence - Window() was taken.
    RecordSlot& Slot(int64_t sequence) { return slots_[static_cast<std::size_t>(sequence) % slots_.size()]; }

    // Hands over the next record, whose slot the caller has filled.
    void Submit() {
        {
            std::lock_guard lock(mutex_);
            ++submitted_;
        }
        work_.notify_one();
    }

    // Waits until record sequence is compressed; its slot is the caller's
    // again until the next Submit into it.
    RecordSlot& Take(int64_t sequence) {
        RecordSlot& slot = Slot(sequence);
        std::unique_lock lock(mutex_);
        while (!slot.done) {
            if (claimed_ < submitted_) {
                // Rather than sleep, compress the next record no worker has taken.
                const int64_t next = claimed_++;
                lock.unlock();
                Compress(Slot(next));
                lock.lock();
                Slot(next).done = true;
            } else {
                finished_.wait(lock);
            }
        }
        slot.done = false;
        return slot;
    }

private:
    void Stop() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        work_.notify_all();
        for (std::thread& worker : workers_) worker.join();
        workers_.clear();
    }

    void Compress(RecordSlot& slot) {
        slot.packedSize = codec_.Compress(slot.packed, kPackedCapacity, slot.text, slot.textSize);
    }

    void Work() {
        for (;;) {
            int64_t sequence = 0;
            {
                std::unique_lock lock(mutex_);
                work_.wait(lock, [&] { return stopping_ || claimed_ < submitted_; });
                if (stopping_) return;
                sequence = claimed_++;
            }
            RecordSlot& slot = Slot(sequence);
            Compress(slot);
            {
                std::lock_guard lock(mutex_);
                slot.done = true;
            }
            finished_.notify_one();
        }
    }

    const CodecFunctions& codec_;
    std::vector<RecordSlot> slots_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable finished_;
    int64_t submitted_ = 0;
    int64_t claimed_ = 0;
    bool stopping_ = false;
};

// The records go out one after another through a large buffer, their
// offsets noted for the record list, which is written last.
class RecordWriter {
public:
    RecordWriter(std::FILE* file, int64_t start) : out_(file), next_(start) {}

    // The offset record data starts at, or -1 when the file cannot hold it.
    int64_t Append(const uint8_t* data, std::size_t size) {
        const int64_t at = next_;
        if (at > std::numeric_limits<uint32_t>::max() || !out_.Append(data, size)) return -1;
        next_ += static_cast<int64_t>(size);
        return at;
    }

    bool Flush() { return out_.Flush(); }

private:
    BlockWriter out_;
    int64_t next_;
};

// The text records of one document on their way from the text to the Doc
// file: each read in turn, written after the one before with its entry in
// the header pointed at it, and shown as a step of the progress.
class RecordRun {
public:
    // count records of text, the last lastSize bytes long (0: a whole one).
    RecordRun(std::FILE* text, int count, int lastSize, RecordWriter& out, Bytes& head, ProgressSink& progress)
        : text_(text), count_(count), lastSize_(lastSize), out_(out), head_(head), progress_(progress) {}

    int Count() const { return count_; }
    // Text record i (1-based) holds 4,096 bytes, the last one what is left.
    int SizeOf(int i) const { return (i == count_ && lastSize_ != 0) ? lastSize_ : kTextRecordSize; }

    // Reads the text of record i, the next one in the text, into to.
    bool Read(int i, uint8_t* to) {
        const auto size = static_cast<std::size_t>(SizeOf(i));
        return std::fread(to, 1, size, text_) == size;
    }

    // Writes record i and points its entry at it; false when the file cannot hold it.
    bool Append(int i, const uint8_t* data, std::size_t size) {
        const int64_t at = out_.Append(data, size);
        if (at < 0) return false;
        SetRecordEntry(head_, i, static_cast<uint32_t>(at), 0);
        return true;
    }

    void Show(int i) {
        progress_.SetProgressValue(i);
        progress_.SetTrayIcon(TrayFrame(i, count_), "");
        progress_.LetEventsRun();
    }

private:
    std::FILE* text_;
    int count_;
    int lastSize_;
    RecordWriter& out_;
    Bytes& head_;
    ProgressSink& progress_;
};

// The records one after another on the calling thread, compressed or stored
// plainly. Returns DocOk(), kDocRecordNotWritten, or kDocFailed for a text
// that cannot be read or a record the codec refuses.
Outcome WriteRecordsInTurn(RecordRun& run, const CodecFunctions& codec, bool compressed) {
    std::vector<uint8_t> chunk(kTextRecordSize);
    std::vector<uint8_t> packed(kPackedCapacity);
    for (int i = 1; i <= run.Count(); ++i) {
        run.Show(i);
        if (!run.Read(i, chunk.data())) return kDocFailed;
        const uint8_t* data = chunk.data();
        auto dataSize = static_cast<std::size_t>(run.SizeOf(i));
        if (compressed) {
            const int32_t packedSize = codec.Compress(packed.data(), kPackedCapacity, chunk.data(), run.SizeOf(i));
            if (packedSize < 0) return kDocFailed;
            data = packed.data();
            dataSize = static_cast<std::size_t>(packedSize);
        }
        if (!run.Append(i, data, dataSize)) return kDocRecordNotWritten;
    }
    return DocOk();
}

// The records compressed on jobs threads and written in their order, the
// same file as WriteRecordsInTurn makes, with its results. Throws
// std::system_error when no thread can be started.
Outcome WriteRecordsInParallel(RecordRun& run, const CodecFunctions& codec, int jobs) {
    RecordCompressor compressor(codec, jobs);
    const int n = run.Count();
    int64_t submitted = 0;  // records handed to the workers
    for (int i = 1; i <= n; ++i) {
        run.Show(i);
        // Keep the window full: the records up to i - 1 + window go out to the workers.
        for (; submitted < n && submitted < i - 1 + compressor.Window(); ++submitted) {
            RecordSlot& slot = compressor.Slot(submitted);
            const int record = static_cast<int>(submitted) + 1;
            slot.textSize = run.SizeOf(record);
            if (!run.Read(record, slot.text)) return kDocFailed;
            compressor.Submit();
        }
        const RecordSlot& slot = compressor.Take(i - 1);
        if (slot.packedSize < 0) return kDocFailed;
        if (!run.Append(i, slot.packed, static_cast<std::size_t>(slot.packedSize))) return kDocRecordNotWritten;
    }
    return DocOk();
}

int JobsFor(const DocBuildRequest& request) {
    int jobs = request.jobs > 0 ? request.jobs : static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(jobs, 1, kMaximumJobs);
}

}  // namespace

Outcome BuildDocFile(const DocBuildRequest& request, std::FILE* doc, const CodecFunctions& codec,
                     ProgressSink& progress) {
    try {
        if (request.category < 0 || request.category > 255) return kDocFailed;

        // The records are read through a 64 KB buffer that outlives the stream.
        const std::unique_ptr<char[]> textBuffer(new char[kTextBuffer]);
        std::string cause;
        FileHandle text(OpenRegularStream(request.textPath, cause));
        if (!text) {
            progress.ReportFailureCause(cause);
            return kDocFailed.With(cause);
        }
        std::setvbuf(text.get(), textBuffer.get(), _IOFBF, kTextBuffer);
        const int64_t length = FileLength(text.get());
        if (length == 0) return kDocTextEmpty;
        std::rewind(text.get());

        const int64_t records = (length + kTextRecordSize - 1) / kTextRecordSize;
        if (records > kMaximumTextRecords) return kDocTextTooLong;
        const int n = static_cast<int>(records);

        progress.SetProgressCaption("Compression");
        progress.SetProgressRange(n);
        progress.SetProgressValue(0);
        progress.LetEventsRun();

        if (codec.CalcPalmTime == nullptr || (request.compressed && codec.Compress == nullptr)) {
            return kDocFailed;
        }
        const int bookmarks = BookmarksThatFit(n, request.bookmarks.size());
        if (static_cast<std::size_t>(bookmarks) < request.bookmarks.size()) {
            progress.Note(DroppedBookmarksNote(request.bookmarks.size() - static_cast<std::size_t>(bookmarks)));
        }
        Bytes head = BuildPalmHeader(request.databaseName, "TEXt", "REAd", n + 1 + bookmarks, codec.CalcPalmTime());
        // The records first, right after the room for the header and the
        // record list; those are written once at the end, with every offset known.
        if (std::fseek(doc, static_cast<long>(head.size()), SEEK_SET) != 0) {
            return kDocHeaderNotWritten;
        }
        RecordWriter out(doc, static_cast<int64_t>(head.size()));
        const Bytes docInfo = BuildDocInfo(static_cast<uint32_t>(length), n, request.compressed);
        const int64_t docInfoAt = out.Append(docInfo.data(), docInfo.size());
        if (docInfoAt < 0) return kDocInfoNotWritten;
        SetRecordEntry(head, 0, static_cast<uint32_t>(docInfoAt), static_cast<uint8_t>(request.category));

        RecordRun run(text.get(), n, static_cast<int>(length % kTextRecordSize), out, head, progress);
        const int jobs = request.compressed ? JobsFor(request) : 1;
        Outcome written =
            jobs == 1 ? WriteRecordsInTurn(run, codec, request.compressed) : WriteRecordsInParallel(run, codec, jobs);
        if (!written.Ok()) return written;
        for (int k = 0; k < bookmarks; ++k) {
            const Bytes record = BuildBookmarkRecord(request.bookmarks[static_cast<std::size_t>(k)]);
            const int64_t at = out.Append(record.data(), record.size());
            if (at < 0) return kDocRecordNotWritten;
            SetRecordEntry(head, n + 1 + k, static_cast<uint32_t>(at), 0);
        }
        if (!out.Flush()) return kDocRecordNotWritten;
        if (std::fseek(doc, 0, SEEK_SET) != 0 || std::fwrite(head.data(), 1, head.size(), doc) != head.size()) {
            return kDocHeaderNotWritten;
        }
        if (std::fflush(doc) != 0) return kDocFailed;
        return DocOk();
    } catch (const DocIoError&) {
        return kDocFailed;
    } catch (const std::bad_alloc&) {
        return kDocFailed;
    } catch (const std::system_error&) {
        // No thread could be started.
        return kDocFailed;
    }
}

}  // namespace lum2
