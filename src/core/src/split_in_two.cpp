#include "relan/split_in_two.hpp"

#include <system_error>

namespace relan {

SplitInTwo::SplitInTwo() {
    if (std::thread::hardware_concurrency() < 2) return;
    try {
        worker_ = std::thread([this] { loop(); });
    } catch (const std::system_error&) {
        // No thread to be had: every loop runs whole on the caller's.
    }
}

SplitInTwo::~SplitInTwo() {
    if (!worker_.joinable()) return;
    stop_.store(true);
    posted_.fetch_add(1);
    posted_.notify_one();
    worker_.join();
}

void SplitInTwo::post(void (*call)(void*), void* context) {
    call_ = call;
    context_ = context;
    posted_.fetch_add(1, std::memory_order_release);
    posted_.notify_one();
}

// The halves of one law take microseconds: the worker spins a little for
// the next job before it sleeps, and so does the caller for the result.
void SplitInTwo::wait() {
    const unsigned want = posted_.load(std::memory_order_relaxed);
    for (int spin = 0;; ++spin) {
        const unsigned done = done_.load(std::memory_order_acquire);
        if (done == want) return;
        if (spin > 2000) done_.wait(done, std::memory_order_acquire);
    }
}

void SplitInTwo::loop() {
    unsigned seen = 0;
    for (;;) {
        for (int spin = 0; posted_.load(std::memory_order_acquire) == seen; ++spin)
            if (spin > 20000) posted_.wait(seen, std::memory_order_acquire);
        seen = posted_.load(std::memory_order_acquire);
        if (stop_.load()) return;
        call_(context_);
        done_.store(seen, std::memory_order_release);
        done_.notify_one();
    }
}

} // namespace relan
