#pragma once

#include <atomic>
#include <cstddef>
#include <thread>

namespace relan {

// Runs a loop over [0, n) in two halves, the second on a thread of its own
// kept for the purpose, when n is long enough to repay the hand-over. The
// caller never waits for a thread that has not started its half: it takes
// the half back and runs it itself, so a machine busy with other work
// costs no more than running the loop whole.
class SplitInTwo {
  public:
    SplitInTwo();
    ~SplitInTwo();
    SplitInTwo(const SplitInTwo&) = delete;
    SplitInTwo& operator=(const SplitInTwo&) = delete;

    // Where run() starts the second half of a loop over [0, n); n when it
    // runs the loop whole.
    std::size_t secondHalf(std::size_t n, std::size_t minimum = kMinimum) const {
        return !worker_.joinable() || n < minimum ? n : n / 2;
    }

    // `minimum`: the shortest loop worth the hand-over, about 20 us of work.
    template <typename Body> void run(std::size_t n, Body&& body, std::size_t minimum = kMinimum) {
        const std::size_t half = secondHalf(n, minimum);
        if (half == n) return body(std::size_t{0}, n);
        struct Half {
            Body* body;
            std::size_t from, to;
        } second{&body, half, n};
        post(
            [](void* h) {
                auto* half = static_cast<Half*>(h);
                (*half->body)(half->from, half->to);
            },
            &second);
        body(std::size_t{0}, half);
        if (takeBack()) body(second.from, second.to);
    }

  private:
    static constexpr std::size_t kMinimum = 4096;
    enum State : int { kIdle, kPosted, kTaken, kDone };
    void post(void (*call)(void*), void* context);
    // True when the worker had not started the posted half, which is then
    // the caller's; otherwise waits for the worker to finish it.
    bool takeBack();
    void loop();

    void (*call_)(void*) = nullptr;
    void* context_ = nullptr;
    std::atomic<int> state_{kIdle};
    std::atomic<unsigned> posted_{0};
    std::atomic<bool> stop_{false};
    std::thread worker_;
};

} // namespace relan
