#include "search/engine/work_pool.h"

#include <sched.h>

namespace orv {

unsigned WorkerThreads(int setting) {
    if (setting > 0) return static_cast<unsigned>(setting);
    // The cores this process may run on (taskset, containers), not the
    // machine's.
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
        const int count = CPU_COUNT(&allowed);
        if (count > 0) return static_cast<unsigned>(count);
    }
    const unsigned machine = std::thread::hardware_concurrency();
    return machine > 0 ? machine : 1;
}

TWorkPool::TWorkPool(unsigned threads) {
    threads_.reserve(threads);
    for (unsigned n = 0; n < threads; ++n) threads_.emplace_back([this] { Run(); });
}

TWorkPool::~TWorkPool() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
        dropped.swap(queue_);
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void TWorkPool::Post(std::function<void()> task) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(task));
    }
    wake_.notify_one();
}

void TWorkPool::PostCopies(unsigned count, const std::function<void()>& task) {
    if (count == 0) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (unsigned n = 0; n < count; ++n) queue_.push_back(task);
    }
    if (count == 1) wake_.notify_one();
    else wake_.notify_all();
}

void TWorkPool::DropQueued() {
    std::deque<std::function<void()>> dropped;
    std::lock_guard<std::mutex> lock(mutex_);
    dropped.swap(queue_);
}

void TWorkPool::Run() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return ending_ || !queue_.empty(); });
            if (ending_) return;
            task = std::move(queue_.front());
            queue_.pop_front();
        }
        try {
            task();
        } catch (...) {
            // The task's owner sees its result missing and does the work itself.
        }
    }
}

}  // namespace orv
