#include "relan/smirnov_estimate.hpp"

#include "smirnov_bound.hpp"
#include "smirnov_kernels.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

// The estimator's caches of laws, powers and the root law the near ones are
// derived from, and the pass that makes a law. The loops run in the kernel
// table the estimator was made with; the error terms come from
// smirnov_bound.hpp.
namespace relan {

using smirnov::kUp;
using smirnov::NearRange;

bool SmirnovEstimator::expNear(double A, const double* p, double A0, const double* p0, const double* e0,
                               double* e, std::size_t n, double Z) {
    const NearRange* r = smirnov::nearRangeFor(Z);
    if (r == nullptr) return false;
    const double dA = A - A0, halfZ = r->Z / 2;
    // What the fit ensures once for the whole law from a bound of p.
    for (std::size_t i = 0; i < n; ++i)
        if (!(std::fabs(dA) * p[i] <= halfZ)) return false;
    return smirnov::kernels().near(r->degree, dA, A0, halfZ, p, p0, e0, e, n);
}

double SmirnovEstimator::expNearError(double err0, double Z) {
    const NearRange* r = smirnov::nearRangeFor(Z);
    return r == nullptr ? std::numeric_limits<double>::infinity() : smirnov::nearError(*r, err0);
}

bool SmirnovEstimator::expm1Small(const double* x, double* y, std::size_t n, double Z) {
    const NearRange* r = smirnov::nearRangeFor(Z);
    return r != nullptr && smirnov::kernels().expm1Scaled(r->degree, 1.0, x, y, n, Z);
}

double SmirnovEstimator::expm1SmallError(double Z) {
    return smirnov::expm1SmallError(Z);
}

void SmirnovEstimator::expInto(const double* x, double* y, std::size_t n) {
    smirnov::kernels().exp(x, y, n);
}

SmirnovEstimator::SmirnovEstimator(const Analysis& s, SplitInTwo* split)
    : s_(s), m_(s.MasProbl.size()), ownSplit_(split ? nullptr : std::make_unique<SplitInTwo>()),
      split_(split ? split : ownSplit_.get()), k_(&smirnov::kernels()) {
    // Groups of equal times, as the exact evaluation meets them in order.
    auto bits = [](double x) { return std::bit_cast<std::uint64_t>(x); };
    double prev = 0;
    for (std::size_t k = 0; k < m_; ++k) {
        const double x = s.MasProbl[k].time;
        const double k1 = static_cast<double>(k + 1);
        if (k == 0 || bits(x) != bits(prev)) {
            if (bits(x) == bits(0.0)) {
                // A failure at time 0 adds nothing to the law; its group
                // still counts its deviations.
                L_.push_back(-std::numeric_limits<double>::infinity());
            } else {
                L_.push_back(std::log(x));
            }
            n_.push_back(0);
            first_.push_back(k1);
            sumK1_.push_back(0);
            inWarr_.push_back(1 - s.models[ModelId::Smirnov].F_norm[k]);
            weight_.push_back(inWarr_.back() * s.Izd_Prived);
        }
        n_.back() += 1;
        sumK1_.back() += k1;
        prev = x;
    }
    const std::size_t G = n_.size();
    double variation = 0, top = 0;
    for (std::size_t g = 0; g < G; ++g) {
        if (g + 1 < G) variation += std::fabs(inWarr_[g] - inWarr_[g + 1]);
        top = std::max(top, std::fabs(inWarr_[g]));
        cubes_ += n_[g] * n_[g] * n_[g];
        if (std::isfinite(L_[g])) {
            Lmax_ = std::max(Lmax_, std::fabs(L_[g]));
            Lpos_ = std::max(Lpos_, L_[g]);
        }
        // A time 0 has x^B = 0 for every B: its ratio x^h - 1 is left at 0.
        Lzero_.push_back(std::isfinite(L_[g]) ? L_[g] : 0.0);
    }
    variation_ = (variation + top) * kUp;
    // A group of n failures from k + 1 = first deviates by first - K C + i,
    // i = 0..n-1; its squares sum to n (middle - K C)^2 + n (n^2 - 1) / 12.
    middle_.resize(G);
    spread_.resize(G);
    for (std::size_t g = 0; g < G; ++g) {
        middle_[g] = first_[g] + (n_[g] - 1) / 2;
        spread_[g] = n_[g] * (n_[g] * n_[g] - 1) / 12;
        if (g < split_->secondHalf(G)) spreadsHead_ += spread_[g];
    }
    cubes_ *= kUp;
    scratch_.resize(G);
    e_.resize(G);
}

SmirnovEstimator::Powers& SmirnovEstimator::powersFor(double B) {
    for (std::size_t i = 0; i < powers_.size(); ++i)
        if (powers_[i].valid && powers_[i].B == B) {
            lastPowers_ = i;
            return powers_[i];
        }
    const Powers& base = powers_[lastPowers_];
    lastPowers_ = (lastPowers_ + 1) % powers_.size();
    Powers& pw = powers_[lastPowers_];
    pw.valid = false;
    pw.base = nullptr;
    const std::size_t G = L_.size();
    pw.p.resize(G);
    const double fresh = smirnov::freshPowerError(B, Lmax_);
    if (derivedPowers(base, B, fresh, pw)) return pw;
    split_->run(G, [&](std::size_t from, std::size_t to) {
        k_->powers(B, L_.data() + from, pw.p.data() + from, scratch_.data() + from, to - from);
    });
    pw.rel = fresh;
    pw.B = B;
    pw.valid = true;
    setErrorOfF(pw);
    return pw;
}

void SmirnovEstimator::setErrorOfF(Powers& pw) {
    pw.epsF = smirnov::errorOfF(pw.rel);
}

// A line search along B steps by the same h again and again: x^(B + h) is
// x^B times x^h, and x^h - 1 = expm1(h ln x) is made once for the line. The
// product has one rounding and the small factor's error is that of the
// small expm1, so a chain of products loses less than a fresh exponential
// gains back; the chain is cut where its error would outgrow a fresh one's
// by half.
bool SmirnovEstimator::derivedPowers(const Powers& base, double B, double fresh, Powers& pw) {
    if (!base.valid || !(B > 0 && base.B > 0 && B <= 2 * base.B && base.B <= 2 * B)) return false;
    const double h = B - base.B; // exact: B and base.B lie within a factor 2
    const double y = std::fabs(h) * Lmax_;
    if (!(y <= 1.0 / 64)) return false;
    const smirnov::PowerStep step = smirnov::powerStep(y);
    const double Z = step.Z;
    const double rel = smirnov::chainedPowerError(base.rel, step.step);
    if (!(rel <= 1.5 * fresh)) return false;
    const std::size_t G = L_.size();
    if (!(ratioH_ == h && ratio_.size() == G)) {
        ratio_.resize(G);
        ratioH_ = 0;
        std::array<bool, 2> made{true, true};
        const NearRange* r = smirnov::nearRangeFor(Z);
        split_->run(G, [&](std::size_t from, std::size_t to) {
            made[from == 0 ? 0 : 1] = r != nullptr && k_->expm1Scaled(r->degree, h, Lzero_.data() + from,
                                                                      ratio_.data() + from, to - from, Z);
        });
        if (!(made[0] && made[1])) return false;
        ratioH_ = h;
    }
    // The products themselves are made by the law's pass, a piece at a time.
    pw.base = &base;
    pw.rel = rel;
    pw.B = B;
    pw.valid = true;
    setErrorOfF(pw);
    return true;
}

// At least every power x^B of these powers: the latest time's, within
// their error.
double SmirnovEstimator::powerCeiling(double B, const Powers& pw) const {
    return smirnov::powerCeiling(B, Lpos_, pw.rel);
}

// Late in a search the laws it tries lie close together, and most of them
// close enough to the last fresh one for a short polynomial to carry its
// exponentials over; whether one does is known only lane by lane, so a
// law whose lanes stray is made afresh piece by piece.
SmirnovEstimator::Derivation SmirnovEstimator::derivationFor(double A, double B, const Powers& pw) const {
    Derivation d;
    if (!root_.valid || !(A > 0 && B > 0 && root_.A > 0 && root_.B > 0) || !(B * Lpos_ < 600)) return d;
    const double pmax = powerCeiling(B, pw);
    const NearRange* r =
        smirnov::nearRangeFor(smirnov::nearReach(A - root_.A, pmax, root_.A, root_.pmax, B - root_.B, Lmax_));
    if (r == nullptr) return d;
    d.on = true;
    d.Z = r->Z;
    d.degree = r->degree;
    d.dA = A - root_.A;
    d.err = smirnov::nearError(*r, smirnov::kFreshExpError);
    return d;
}

SmirnovEstimator::Law* SmirnovEstimator::find(double A, double B) {
    for (Law& l : laws_)
        if (l.valid && l.A == A && l.B == B) {
            l.used = ++clock_;
            return &l;
        }
    return nullptr;
}

SmirnovEstimator::Law& SmirnovEstimator::newLaw(double A, double B, double K, double& S) {
    Law* slot = &laws_[0];
    for (Law& l : laws_)
        if (!l.valid || l.used < slot->used) slot = &l;
    Law& law = *slot;
    law.valid = false;
    Powers& pw = powersFor(B);
    const std::size_t G = L_.size();
    // The weighted increments as the exact evaluation forms them, F = 1 -
    // exp(-A x^B) with its floor; an increment so small that either
    // evaluation might find it negative (and take its floor instead) is
    // bounded apart. Then their running sums, and on the way the
    // criterion's sum at K and T. Each half of the times is worked on by
    // its own thread; the second half's running sums start from 0 and are
    // moved by the first half's total.
    const Derivation near = derivationFor(A, B, pw);
    const double eps = smirnov::lawErrorOfF(pw.epsF, near.on, near.err);
    const double Izd = s_.Izd_Prived;
    std::array<bool, 2> strayed{};
    law.C.resize(G);
    double* Cs = law.C.data();
    std::array<double, 3> flat{}, sum{}, T{};
    split_->run(G, [&](std::size_t from, std::size_t to) {
        // In pieces that stay in the first-level cache. The second half
        // makes its own F just before its first time; the two values of
        // F there may differ within the error of F, which the bound takes.
        double e0 = 1;
        if (from > 0) {
            const std::size_t g = from - 1;
            const double* b = pw.base ? pw.base->p.data() : nullptr;
            const double z = -(A * (b ? std::fma(b[g], ratio_[g], b[g]) : pw.p[g]));
            k_->exp(&z, &e0, 1);
        }
        // The first half's running sums start from 0, so its sums at K
        // are made on the way; the second half's wait for its offset.
        const bool withSums = from == 0;
        smirnov::PieceSums sums;
        double C = 0;
        constexpr std::size_t kPiece = 512;
        for (std::size_t p = from; p < to; p += kPiece) {
            const std::size_t q = std::min(to, p + kPiece);
            if (pw.base) k_->timesRatios(pw.base->p.data() + p, ratio_.data() + p, pw.p.data() + p, q - p);
            const bool derived =
                near.on && k_->near(near.degree, near.dA, root_.A, near.Z / 2, pw.p.data() + p,
                                    root_.p.data() + p, root_.e.data() + p, e_.data() + p, q - p);
            if (!derived) k_->expNegScaled(A, pw.p.data() + p, e_.data() + p, q - p);
            if (near.on && !derived) strayed[from == 0 ? 0 : 1] = true;
            const smirnov::Piece piece{e_.data() + p,
                                       p == from ? e0 : e_[p - 1],
                                       inWarr_.data() + p,
                                       weight_.data() + p,
                                       q - p,
                                       2 * eps,
                                       Izd,
                                       Cs + p,
                                       middle_.data() + p,
                                       n_.data() + p,
                                       K};
            C = k_->lawPiece(piece, C, withSums, sums, scratch_.data() + p);
        }
        if (withSums) {
            sum[0] = sums.S;
            T[0] = sums.T;
        }
        flat[from == 0 ? 0 : 1] = sums.flat + (from > 0 ? smirnov::junctionFlat(eps, inWarr_[from]) : 0.0);
    });
    pw.base = nullptr;
    if (!near.on) {
        // A fresh law is the one the next are derived from.
        root_.e.swap(e_);
        e_.resize(G);
        root_.p = pw.p;
        root_.A = A;
        root_.B = B;
        root_.pmax = powerCeiling(B, pw);
        root_.valid = B * Lpos_ < 600;
    } else if (strayed[0] || strayed[1]) {
        // The search has moved away: the next law is made afresh.
        root_.valid = false;
    }
    // The second half of a split law: moved by the first half's total, and
    // its sums at K, again in two halves.
    const std::size_t half = split_->secondHalf(G);
    if (half < G) {
        const double offset = Cs[half - 1];
        split_->run(G - half, [&](std::size_t from, std::size_t to) {
            const std::size_t i = from == 0 ? 1 : 2;
            const std::size_t g = half + from;
            k_->sumsAt(Cs + g, middle_.data() + g, n_.data() + g, spread_.data() + g, to - from, offset, K,
                       sum[i], T[i]);
        });
    }
    sum[0] += spreadsHead_;
    const double C = G > 0 ? Cs[G - 1] : 0.0;
    S = sum[0] + sum[1] + sum[2];
    // |C~(k) - C(k)| <= a + b C~(k).
    const smirnov::RunningSumBound rs =
        smirnov::runningSumBound(Izd, eps, variation_, static_cast<double>(G), flat[0], flat[1]);
    law.a = rs.a;
    law.b = rs.b;
    law.T = T[0] + T[1] + T[2];
    law.haveSums = false;
    law.haveQuadratic = false;
    law.finite = std::isfinite(C) && C <= smirnov::kHuge && std::isfinite(law.T) && std::isfinite(law.a);
    law.A = A;
    law.B = B;
    law.valid = true;
    law.used = ++clock_;
    return law;
}

double SmirnovEstimator::sumAt(const Law& l, double K) {
    const double* C = l.C.data();
    std::array<double, 2> part{};
    split_->run(n_.size(), [&](std::size_t from, std::size_t to) {
        part[from == 0 ? 0 : 1] = k_->squaresAt(C + from, middle_.data() + from, n_.data() + from,
                                                spread_.data() + from, to - from, K);
    });
    return part[0] + part[1];
}

void SmirnovEstimator::sums(Law& l) const {
    if (l.haveSums) return;
    const std::size_t G = n_.size();
    double N = 0, sumC = 0;
    k_->linearSums(l.C.data(), sumK1_.data(), n_.data(), G, N, sumC);
    l.N = N;
    l.sumC = sumC;
    l.finite = l.finite && std::isfinite(N);
    l.haveSums = true;
}

SmirnovBounds SmirnovEstimator::at(double A, double B, double K) {
    double S = 0;
    const Law* found = find(A, B);
    const Law& l = found ? *found : newLaw(A, B, K, S);
    if (found) S = sumAt(l, K);
    return smirnov::enclose(S, K, {l.T, l.a, l.b, l.finite}, m_, n_.size(), cubes_,
                            smirnovRoundingBound(m_, s_.Kol_izw));
}

SmirnovKBound SmirnovEstimator::quadratic(double A, double B) {
    Law* found = find(A, B);
    double S = 0;
    Law& l = found ? *found : newLaw(A, B, 1, S);
    if (!l.haveQuadratic) {
        l.quadratic = quadraticOf(l);
        l.haveQuadratic = true;
    }
    return l.quadratic;
}

SmirnovKBound SmirnovEstimator::quadraticOf(Law& l) const {
    sums(l);
    return smirnov::quadraticBound(smirnovRoundingBound(m_, s_.Kol_izw), {l.T, l.a, l.b, l.finite}, l.N,
                                   l.sumC, m_, n_.size());
}

} // namespace relan
