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

namespace {

// Waits for the other side by yielding the core rather than spinning on
// it: on a busy machine the thread that has to run gets it at once, on an
// idle one a yield returns at once. Only after that does the thread sleep,
// as the worker does for good when the fit has ended.
constexpr int kYields = 200;

} // namespace

void SplitInTwo::wait() {
    const unsigned want = posted_.load(std::memory_order_relaxed);
    for (int spin = 0;; ++spin) {
        const unsigned done = done_.load(std::memory_order_acquire);
        if (done == want) return;
        if (spin < kYields) std::this_thread::yield();
        else done_.wait(done, std::memory_order_acquire);
    }
}

void SplitInTwo::loop() {
    unsigned seen = 0;
    for (;;) {
        for (int spin = 0; posted_.load(std::memory_order_acquire) == seen; ++spin) {
            if (spin < kYields) std::this_thread::yield();
            else posted_.wait(seen, std::memory_order_acquire);
        }
        seen = posted_.load(std::memory_order_acquire);
        if (stop_.load()) return;
        call_(context_);
        done_.store(seen, std::memory_order_release);
        done_.notify_one();
    }
}

} // namespace relan
