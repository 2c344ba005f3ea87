// A fixed set of worker threads that run posted tasks in the order posted.
// The run hands them only pure engine work (decoding and reducing pictures,
// scoring signatures); everything a run shows or stores stays on the thread
// that owns the window.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace orv {

// Worker threads of a run: `setting` when above 0, else one per core the
// process may run on (its CPU affinity mask).
unsigned WorkerThreads(int setting);

class TWorkPool {
public:
    explicit TWorkPool(unsigned threads);
    // Drops the tasks not yet started and waits for the running ones.
    ~TWorkPool();
    TWorkPool(const TWorkPool&) = delete;
    TWorkPool& operator=(const TWorkPool&) = delete;

    unsigned Size() const { return static_cast<unsigned>(threads_.size()); }
    // A task must not let an exception escape; one that does is dropped.
    void Post(std::function<void()> task);
    // Posts `count` runs of one task at once (one wake-up for all).
    void PostCopies(unsigned count, const std::function<void()>& task);
    // Tasks not yet started are dropped (destroyed unrun).
    void DropQueued();

private:
    void Run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
    bool ending_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace orv
