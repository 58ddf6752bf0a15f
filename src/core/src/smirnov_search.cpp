#include "relan/smirnov_estimate.hpp"

#include <algorithm>
#include <limits>

namespace relan {

SmirnovSearch::SmirnovSearch(const Analysis& s, const Point& start)
    : exact_(s, &split_), estimate_(s, &split_), x_(start), R_(std::numeric_limits<double>::infinity()) {
    value_ = exact_(x_.A, x_.B, x_.K);
}

bool SmirnovSearch::fallsTo(const Point& trial) {
    return falls(trial, 0);
}

bool SmirnovSearch::falls(const Point& trial, double h) {
    const SmirnovBounds t = estimate_.at(trial.A, trial.B, trial.K);
    const SmirnovBounds& c = bounds();
    // A fall by this factor of the bound stays a strict fall through the
    // rounding of the square root and the division that give the value.
    constexpr double kFallMargin = 1 - 16 * std::numeric_limits<double>::epsilon();
    if (t.usable && c.usable) {
        if (t.hi < c.lo * kFallMargin) {
            moveTo(trial, t);
            return true;
        }
        if (t.lo >= c.hi) return false;
    }
    if (h != 0) lookAhead(trial, h);
    const double now = value();
    const double then = exactAt(trial);
    if (!(then < now)) return false; // NaN counts as no fall
    moveTo(trial, t);
    value_ = then;
    known_ = true;
    return true;
}

bool SmirnovSearch::fallsAlongK(double K1, double h) {
    const SmirnovKBound q = estimate_.quadratic(x_.A, x_.B);
    switch (smirnovAlongK(q, x_.K, K1, normBound())) {
    case SmirnovMove::Falls:
        // The exact norm fell, so its bound still holds at K1.
        x_.K = K1;
        known_ = false;
        haveBounds_ = false;
        return true;
    case SmirnovMove::DoesNotFall:
        return false;
    case SmirnovMove::Unknown:
        break;
    }
    Point trial = x_;
    trial.K = K1;
    const double R = R_;
    const bool fell = falls(trial, h);
    if (fell) R_ = std::min(R, R_);
    return fell;
}

long long SmirnovSearch::certainFallsAlongK(double h, long long nMax) {
    const SmirnovKBound q = estimate_.quadratic(x_.A, x_.B);
    return smirnovRunAlongK(q, x_.K, h, normBound(), nMax);
}

void SmirnovSearch::moveAlongK(double K) {
    // As a step that falls: the exact norm fell, so its bound still holds.
    x_.K = K;
    known_ = false;
    haveBounds_ = false;
}

const double* SmirnovSearch::Ahead::find(const Point& p) const {
    if (!(p.A == A && p.B == B)) return nullptr;
    for (std::size_t i = 0; i < n; ++i)
        if (K[i] == p.K) return &value[i];
    return nullptr;
}

double SmirnovSearch::exactAt(const Point& p) {
    if (const double* v = ahead_.find(p)) return *v;
    return exact_(p.A, p.B, p.K);
}

void SmirnovSearch::lookAhead(const Point& trial, double h) {
    // The current point first where its value is still to be made; then
    // the trial and the steps after it, K by the line's repeated additions.
    const bool current = !known_ && x_.A == trial.A && x_.B == trial.B;
    if (ahead_.find(trial) && (!current || ahead_.find(x_))) return;
    Ahead a{trial.A, trial.B, 0, {}, {}};
    if (current) a.K[a.n++] = x_.K;
    for (double K = trial.K; a.n < a.K.size(); K += h)
        a.K[a.n++] = K;
    exact_.atK(a.A, a.B, a.K.data(), a.value.data(), a.n);
    ahead_ = a;
}

double SmirnovSearch::value() {
    if (!known_) {
        value_ = exactAt(x_);
        known_ = true;
    }
    return value_;
}

const SmirnovBounds& SmirnovSearch::bounds() {
    if (!haveBounds_) {
        bounds_ = estimate_.at(x_.A, x_.B, x_.K);
        haveBounds_ = true;
        R_ = bounds_.usable ? bounds_.normHi : std::numeric_limits<double>::infinity();
    }
    return bounds_;
}

double SmirnovSearch::normBound() {
    if (!(R_ < std::numeric_limits<double>::infinity())) bounds();
    return R_;
}

void SmirnovSearch::moveTo(const Point& x, const SmirnovBounds& b) {
    x_ = x;
    known_ = false;
    bounds_ = b;
    haveBounds_ = true;
    R_ = b.usable ? b.normHi : std::numeric_limits<double>::infinity();
}

} // namespace relan
