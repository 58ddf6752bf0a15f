#include "relan/split_in_two.hpp"

#include <system_error>

namespace relan {
namespace {

// Waits for the other side by yielding the core rather than spinning on
// it, then sleeps: the worker for good when the fit has ended.
constexpr int kYields = 200;

} // namespace

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
    state_.store(kPosted, std::memory_order_release);
    posted_.fetch_add(1, std::memory_order_release);
    posted_.notify_one();
}

bool SplitInTwo::takeBack() {
    int expected = kPosted;
    if (state_.compare_exchange_strong(expected, kIdle, std::memory_order_acq_rel)) return true;
    for (int spin = 0;; ++spin) {
        const int s = state_.load(std::memory_order_acquire);
        if (s == kDone) break;
        if (spin < kYields)
            std::this_thread::yield();
        else
            state_.wait(s, std::memory_order_acquire);
    }
    state_.store(kIdle, std::memory_order_relaxed);
    return false;
}

void SplitInTwo::loop() {
    unsigned seen = 0;
    for (;;) {
        for (int spin = 0; posted_.load(std::memory_order_acquire) == seen; ++spin) {
            if (spin < kYields)
                std::this_thread::yield();
            else
                posted_.wait(seen, std::memory_order_acquire);
        }
        seen = posted_.load(std::memory_order_acquire);
        if (stop_.load()) return;
        int expected = kPosted;
        if (!state_.compare_exchange_strong(expected, kTaken, std::memory_order_acq_rel)) continue;
        call_(context_);
        state_.store(kDone, std::memory_order_release);
        state_.notify_one();
    }
}

} // namespace relan
