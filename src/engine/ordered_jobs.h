// Independent work on a stream of records, spread over the machine's cores
// and handed back in record order.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace lum2 {

// Runs job on each slot on worker threads, and on the calling thread while it
// waits for one. The caller fills the slots of a bounded window in record
// order and takes the results back in that order, so what it writes is the
// same whatever the number of jobs, and memory stays that of the window.
template <class Slot>
class OrderedJobs {
public:
    // jobs counts the calling thread; slotsPerJob records are in flight per job,
    // enough that no worker waits for the caller.
    OrderedJobs(int jobs, int slotsPerJob, std::function<void(Slot&)> job)
        : job_(std::move(job)), slots_(static_cast<std::size_t>(jobs) * static_cast<std::size_t>(slotsPerJob)) {
        workers_.reserve(static_cast<std::size_t>(jobs - 1));
        try {
            for (int k = 1; k < jobs; ++k) workers_.emplace_back([this] { Work(); });
        } catch (...) {
            Stop();
            throw;
        }
    }

    ~OrderedJobs() { Stop(); }

    OrderedJobs(const OrderedJobs&) = delete;
    OrderedJobs& operator=(const OrderedJobs&) = delete;

    int64_t Window() const { return static_cast<int64_t>(slots_.size()); }
    // The slot of record sequence (0-based), free once sequence - Window() was taken.
    Slot& At(int64_t sequence) { return slots_[static_cast<std::size_t>(sequence) % slots_.size()].slot; }

    // Hands over the next record, whose slot the caller has filled.
    void Submit() {
        {
            std::lock_guard lock(mutex_);
            ++submitted_;
        }
        work_.notify_one();
    }

    // Waits until record sequence is done; its slot is the caller's again
    // until the next Submit into it.
    Slot& Take(int64_t sequence) {
        Entry& entry = slots_[static_cast<std::size_t>(sequence) % slots_.size()];
        std::unique_lock lock(mutex_);
        while (!entry.done) {
            if (claimed_ < submitted_) {
                // Rather than sleep, do the next record no worker has taken.
                Entry& next = slots_[static_cast<std::size_t>(claimed_++) % slots_.size()];
                lock.unlock();
                job_(next.slot);
                lock.lock();
                next.done = true;
            } else {
                finished_.wait(lock);
            }
        }
        entry.done = false;
        return entry.slot;
    }

private:
    struct Entry {
        Slot slot;
        bool done = false;
    };

    void Stop() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        work_.notify_all();
        for (std::thread& worker : workers_) worker.join();
        workers_.clear();
    }

    void Work() {
        for (;;) {
            Entry* entry = nullptr;
            {
                std::unique_lock lock(mutex_);
                work_.wait(lock, [&] { return stopping_ || claimed_ < submitted_; });
                if (stopping_) return;
                entry = &slots_[static_cast<std::size_t>(claimed_++) % slots_.size()];
            }
            job_(entry->slot);
            {
                std::lock_guard lock(mutex_);
                entry->done = true;
            }
            finished_.notify_one();
        }
    }

    std::function<void(Slot&)> job_;
    std::vector<Entry> slots_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable finished_;
    int64_t submitted_ = 0;
    int64_t claimed_ = 0;
    bool stopping_ = false;
};

// The number of jobs asked for (0: one per core), within what pays on any machine.
inline int JobsWithinCap(int asked) {
    // Beyond this many workers a machine gains little and each holds the
    // codec's workspace; the cap keeps memory bounded on any machine.
    constexpr int kMaximumJobs = 16;
    const int jobs = asked > 0 ? asked : static_cast<int>(std::thread::hardware_concurrency());
    return jobs < 1 ? 1 : (jobs > kMaximumJobs ? kMaximumJobs : jobs);
}

}  // namespace lum2
