#pragma once

// How a long computation tells its caller how far it has come, and learns
// that it is to stop. The window runs the computations on a worker thread and
// reads the reports from there; the command line draws them on a terminal.

#include <atomic>
#include <exception>
#include <functional>
#include <string>
#include <string_view>

namespace relan {

// Ends a computation whose cancellation flag was set. It is not a refusal:
// nothing is shown, and whatever the computation promised to leave as it was
// on an error is left as it was.
class Cancelled : public std::exception {
  public:
    const char* what() const noexcept override;
};

struct ProgressReport {
    std::string_view stage; // static text: "Модель 1.1", "Модель МП"
    std::string_view unit;  // what is counted: "проход", "шаг"
    long long done = 0;
    long long total = 0; // 0 when not known in advance
};

// "Модель 1.1: проход 1234 из 36852"; without a total, "Модель МП: шаг 3".
std::string progressText(const ProgressReport& r);

// The two hooks every long computation takes in its options. Both may be left
// empty. The flag is read at least once per pass, step or evaluation, so a
// computation ends soon after it is set, from any thread.
struct ProgressHooks {
    // Called on the computation's thread, often: keep it cheap.
    std::function<void(const ProgressReport&)> report;
    const std::atomic<bool>* cancel = nullptr;

    bool cancelled() const { return cancel && cancel->load(std::memory_order_relaxed); }
    void throwIfCancelled() const {
        if (cancelled()) throw Cancelled();
    }
    void tell(std::string_view stage, std::string_view unit, long long done, long long total) const {
        if (report) report(ProgressReport{stage, unit, done, total});
    }
};

} // namespace relan
