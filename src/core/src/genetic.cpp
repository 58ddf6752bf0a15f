#include "relan/genetic.hpp"

#include "relan/fits.hpp"

#include "relan/criteria.hpp"
#include "relan/error.hpp"
#include "relan/histogram.hpp"
#include "relan/special.hpp"
#include "relan/text_decoding.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace relan {
namespace {

constexpr double kMax_Start = 1e306;
// Beyond this the lists of one generation (up to three times the population)
// no longer fit the memory of an ordinary machine; the run is refused
// instead of being killed halfway.
constexpr int kMaxPopulation = 1'000'000;
// More rating threads than this only cost their creation.
constexpr unsigned kMaxThreads = 256;

long long Round(double v) {
    return static_cast<long long>(roundHalfEven(v));
}

// A whole number as the window's integer fields take it; blanks around it
// are allowed.
std::optional<std::int32_t> wholeNumber(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && text[b] == ' ')
        ++b;
    while (e > b && text[e - 1] == ' ')
        --e;
    return parseInt32(text.substr(b, e - b));
}

int fieldInt(const char* label, const std::string& text) {
    auto v = wholeNumber(text);
    if (!v) throw Error(fieldName(label) + ": " + text::quoted(text) + " не является целым числом");
    return *v;
}

void appendBin(std::string& out, std::int64_t Value, int Size) {
    for (int k = 1; k <= Size; ++k)
        out += ((Value >> (Size - k)) & 1) ? '1' : '0';
}

// BinToInt of the gene's characters, read in place; a string too short for
// the gene gives what is there, as a substring of it would.
std::int64_t geneValue(std::string_view sXrome, const PosGen& g) {
    const std::size_t begin = static_cast<std::size_t>(g.gStart - 1);
    if (begin >= sXrome.size()) return 0;
    return BinToInt(sXrome.substr(begin, static_cast<std::size_t>(g.gLength)));
}

// Mu and Sig of the objective, by the flags.
void censoring(const OptArray& Ao, bool sredOpt, bool skoOpt, double Sred, double SKO, double& Mu,
               double& Sig) {
    Mu = Sred;
    Sig = SKO;
    if (sredOpt && skoOpt) {
        Mu = Ao[4];
        Sig = Ao[5];
    } else if (sredOpt) {
        Mu = Ao[4];
    } else if (skoOpt) {
        Sig = Ao[4];
    }
}

std::uint64_t splitmix64(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

} // namespace

// ---------------------------------------------------------------------------
// Coding

int iGetBits(std::int32_t iVal) {
    int n = 0;
    while (iVal >= 1) {
        iVal /= 2;
        ++n;
    }
    return n;
}

std::string IntToBin(std::int64_t Value, int Size) {
    std::string s;
    if (Size > 0) {
        s.reserve(static_cast<std::size_t>(Size));
        appendBin(s, Value, std::min(Size, 63));
        // Bits above the 63rd of a 64-bit value are its sign.
        if (Size > 63) s.insert(0, static_cast<std::size_t>(Size - 63), Value < 0 ? '1' : '0');
    }
    return s;
}

std::int64_t BinToInt(std::string_view Value) {
    std::uint64_t v = 0;
    for (char c : Value)
        v = (v << 1) | (c == '1' ? 1u : 0u);
    return static_cast<std::int64_t>(v);
}

int SortPopulation(const Xromosome* Item1, const Xromosome* Item2) {
    if (Item1->Celev_F < Item2->Celev_F) return -1;
    if (Item1->Celev_F > Item2->Celev_F) return 1;
    return 0;
}

// ---------------------------------------------------------------------------
// Objective

GeneticObjective::GeneticObjective(const Analysis& s)
    : Izd_Prived_(s.Izd_Prived), Kol_izw_(s.Kol_izw), kTop_(s.Alim[1][3] + s.Alim[2][3]), Sred_(s.Sred),
      SKO_(s.SKO), Sred_Opt_(s.Sred_Opt), SKO_Opt_(s.SKO_Opt) {
    const auto& h = s.Hist_Arr;
    IntervalBounds b = intervalBounds(h);
    t_ = std::move(b.t);
    observed_ = std::move(b.observed);
    inWarr_.resize(h.size());
    F_.resize(t_.size());
}

double GeneticObjective::operator()(const OptArray& Ao) {
    double Mu = 0, Sig = 0;
    censoring(Ao, Sred_Opt_, SKO_Opt_, Sred_, SKO_, Mu, Sig);
    return value(Ao[2], Ao[1], Ao[3], Mu, Sig);
}

// Every value below is computed by the same operations in the same order as
// weibCDF, weibCDF2, CDF_Gauss and Pirson_ZFGen do, so that the result is the
// same to the last bit; only the work that repeats is skipped.
double GeneticObjective::value(double A, double B, double k_pwt, double Mu, double Sig) {
    const std::size_t n = observed_.size();
    if (!haveG_ || Mu != cachedMu_ || Sig != cachedSig_) {
        haveG_ = false;
        for (std::size_t i = 0; i < n; ++i)
            inWarr_[i] = 1 - CDF_Gauss(Mu, Sig, (t_[i] + t_[i + 1]) / 2);
        cachedMu_ = Mu;
        cachedSig_ = Sig;
        haveG_ = true;
    }
    const bool positive = A > 0 && B > 0;
    if (positive && (!haveF_ || A != cachedA_ || B != cachedB_)) {
        haveF_ = false;
        // F(0) is the floor: 0^B = 0 and 1 - exp(-0) = 0.
        F_[0] = 1e-305;
        std::size_t i = 1;
        for (; i < t_.size(); ++i) {
            const double x = A * std::pow(t_[i], B);
            // From A t^B >= 40 on, exp(-A t^B) < 2^-54 and F is exactly 1, here
            // and at every later (larger) boundary.
            if (x >= 40) break;
            const double w = 1 - std::exp(-x); // -x is exactly (-A) t^B
            F_[i] = w > 0 ? w : 1e-305;
        }
        for (; i < t_.size(); ++i)
            F_[i] = 1;
        cachedA_ = A;
        cachedB_ = B;
        haveF_ = true;
    }
    const double Ik = Izd_Prived_ * k_pwt;
    double sum = 0;
    double q = 0;
    double total = 0;
    for (std::size_t i = 0; i < n; ++i) {
        double Fw = 0;
        if (positive) {
            Fw = F_[i + 1] - F_[i];
            if (Fw < 0) Fw = 1e-305;
        }
        const double E = Ik * Fw * inWarr_[i];
        total += E;
        const double d = observed_[i] - E;
        q += d * d;
        sum += d * d * Fw;
    }
    const double last = Kol_izw_ - total;
    double result = sum + last * last;
    if (k_pwt > kTop_) result *= (k_pwt / kTop_) * (k_pwt / kTop_);
    if (!std::isfinite(result))
        throw Error("Целевая функция генетического алгоритма не является конечным числом");
    return result;
}

// ---------------------------------------------------------------------------
// Settings

GeneticSettings readGeneticFields(const GeneticFields& f, const NumberFormat& fmt) {
    GeneticSettings g;
    g.Precision = fieldReal(kLabelPrecision, f.precisionText, fmt);
    // Genes have iGetBits(Round(1 / Precision)) digits: none below 1, and
    // more than an Integer holds from 2^31 on.
    const double inv = g.Precision > 0 ? 1 / g.Precision : 0;
    const double r = std::isfinite(inv) ? roundHalfEven(inv) : 0;
    if (!(r >= 1 && r < 2147483648.0))
        throw Error(fieldName(kLabelPrecision) +
                    ": точность подбора должна быть такой, чтобы 1/точность после округления лежала от 1 до "
                    "2147483647, введено " +
                    text::quoted(f.precisionText));
    g.SizePopulation = fieldInt(kLabelPopulation, f.populationSizeText);
    if (g.SizePopulation < 1 || g.SizePopulation > kMaxPopulation)
        throw Error(fieldName(kLabelPopulation) + ": размер популяции должен быть от 1 до " +
                    std::to_string(kMaxPopulation) + ", введено " + text::quoted(f.populationSizeText));
    g.iMaxBest = fieldInt(kLabelGenerations, f.generationsText);
    if (g.iMaxBest < 1)
        throw Error(fieldName(kLabelGenerations) + ": число поколений должно быть не меньше 1, введено " +
                    text::quoted(f.generationsText));
    g.copyBestCount = fieldInt(kLabelCopyBest, f.copyBestCountText);
    return g;
}

GeneticSettings startGenetic(Analysis& s, const GeneticFields& f, const NumberFormat& fmt) {
    const GeneticSettings g = readGeneticFields(f, fmt);
    if (s.MasProbl.empty() || s.Kol_izw <= 0)
        throw Error("Нет данных об отказах: загрузите файл исходных данных с хотя бы одним отказом");
    // A deviation that is not searched is the same in every evaluation: 0
    // would fail every one of them.
    if (!s.SKO_Opt && !(s.SKO > 0))
        throw Error("СКО времени гарантии должно быть больше 0, сейчас " + formatGeneral(s.SKO, fmt) +
                    " ч: генетический алгоритм не может оценить ни одного закона");
    if (!std::isfinite(s.Sred) || !std::isfinite(s.SKO) || !std::isfinite(s.Izd_Prived))
        throw Error("Параметры гарантийного срока или парк изделий не являются конечными числами");
    Analysis built = s;
    hist(built);

    s.iop = 3 + (s.Sred_Opt ? 1 : 0) + (s.SKO_Opt ? 1 : 0);
    s.Precision = g.Precision;
    for (int i = 1; i <= N_Param_Opt; ++i)
        s.NormA[i] = (s.Alim[1][i] + s.Alim[2][i]) * s.Precision;
    s.Hist_Arr = std::move(built.Hist_Arr);
    s.D_Hist1 = built.D_Hist1;
    s.D_Hist2 = built.D_Hist2;
    s.Sum_PrichRow = built.Sum_PrichRow;
    s.Sum_PrichCol = built.Sum_PrichCol;
    return g;
}

// ---------------------------------------------------------------------------
// Random numbers

class TGen::Random {
  public:
    explicit Random(std::optional<std::uint64_t> seed) : seed_(seed) {}

    void reseed(long long generation, std::uint64_t event) {
        if (seed_) {
            const std::uint64_t key = (static_cast<std::uint64_t>(generation) << 32) ^ event;
            state_ = static_cast<std::uint32_t>(splitmix64(*seed_ ^ splitmix64(key)) >> 32);
        } else {
            // The clock's low 32 bits, as the original program took them. The
            // draws between two evaluations take nanoseconds here, since the
            // evaluations are made afterwards, so two readings may coincide;
            // the event number keeps their seeds apart.
            const auto ticks =
                static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
            state_ = static_cast<std::uint32_t>(ticks) + static_cast<std::uint32_t>(event * 0x9E3779B9u);
        }
    }

    double next() {
        state_ = state_ * 134775813u + 1u;
        return static_cast<double>(state_) * (1.0 / 4294967296.0);
    }

  private:
    std::optional<std::uint64_t> seed_;
    std::uint32_t state_ = 0;
};

// ---------------------------------------------------------------------------
// Rating threads

// A fixed set of threads that rate the records of one operator: each index
// goes to whichever thread takes it next, and each result lands in its own
// slot, so the order of the work has no effect on any value.
class TGen::Pool {
  public:
    Pool(unsigned threads, const Analysis& s) {
        for (unsigned i = 0; i < threads; ++i)
            objectives_.push_back(std::make_unique<GeneticObjective>(s));
        for (unsigned i = 1; i < threads; ++i)
            workers_.emplace_back([this, i] { loop(i); });
    }

    ~Pool() {
        {
            std::lock_guard<std::mutex> lk(m_);
            quit_ = true;
        }
        wake_.notify_all();
        for (auto& w : workers_)
            w.join();
    }

    GeneticObjective& own() { return *objectives_[0]; }

    // task must not throw.
    void run(std::size_t count, const std::function<void(std::size_t, GeneticObjective&)>& task) {
        // A handful of evaluations is quicker than waking the threads.
        if (workers_.empty() || count < 64) {
            for (std::size_t i = 0; i < count; ++i)
                task(i, *objectives_[0]);
            return;
        }
        {
            std::lock_guard<std::mutex> lk(m_);
            task_ = &task;
            count_ = count;
            next_.store(0);
            busy_ = workers_.size();
            ++epoch_;
        }
        wake_.notify_all();
        work(0);
        std::unique_lock<std::mutex> lk(m_);
        done_.wait(lk, [this] { return busy_ == 0; });
        task_ = nullptr;
    }

  private:
    static constexpr std::size_t kChunk = 32;

    void work(unsigned id) {
        for (;;) {
            const std::size_t b = next_.fetch_add(kChunk);
            if (b >= count_) return;
            const std::size_t e = std::min(count_, b + kChunk);
            for (std::size_t i = b; i < e; ++i)
                (*task_)(i, *objectives_[id]);
        }
    }

    void loop(unsigned id) {
        std::uint64_t seen = 0;
        std::unique_lock<std::mutex> lk(m_);
        for (;;) {
            wake_.wait(lk, [&] { return quit_ || epoch_ != seen; });
            if (quit_) return;
            seen = epoch_;
            lk.unlock();
            work(id);
            lk.lock();
            if (--busy_ == 0) done_.notify_one();
        }
    }

    std::vector<std::unique_ptr<GeneticObjective>> objectives_;
    std::vector<std::thread> workers_;
    std::mutex m_;
    std::condition_variable wake_, done_;
    bool quit_ = false;
    std::uint64_t epoch_ = 0;
    std::size_t busy_ = 0;
    const std::function<void(std::size_t, GeneticObjective&)>* task_ = nullptr;
    std::size_t count_ = 0;
    std::atomic<std::size_t> next_{0};
};

// ---------------------------------------------------------------------------
// The run

TGen::TGen(const Analysis& s, const GeneticSettings& settings, GeneticHost& host, GeneticControl& control,
           GeneticOptions options)
    : s_(s), host_(host), control_(control), options_(std::move(options)),
      SizePopulation_(settings.SizePopulation), iMaxBest_(settings.iMaxBest), iop_(s.iop),
      Precision_(s.Precision), NormA_(s.NormA), Alim_(s.Alim), Ao_(s.Ao), Aopt_(s.Aopt) {
    if (iop_ < 1 || iop_ > N_Param_Opt || SizePopulation_ < 1 || iMaxBest_ < 1 || !(Precision_ > 0))
        throw Error("Генетический алгоритм не подготовлен: параметры запуска не проверены");
    unsigned threads = options_.threads;
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    threads = std::min(threads, kMaxThreads);
    random_ = std::make_unique<Random>(options_.seed);
    pool_ = std::make_unique<Pool>(threads, s);
}

TGen::~TGen() = default;

Xromosome* TGen::newRecord() {
    if (!spare_.empty()) {
        Xromosome* x = spare_.back();
        spare_.pop_back();
        return x;
    }
    records_.emplace_back();
    records_.back().sX.reserve(static_cast<std::size_t>(std::max(LengthXrome_, 0)));
    return &records_.back();
}

void TGen::release(Xromosome* x) {
    spare_.push_back(x);
}

void TGen::reseedAtEvaluation() {
    random_->reseed(generation_, ++evaluation_);
}

double TGen::rate(const OptArray& Ao) {
    reseedAtEvaluation();
    return pool_->own()(Ao);
}

void TGen::ratePending(std::size_t count, const std::function<void(std::size_t, GeneticObjective&)>& task) {
    values_.assign(count, 0.0);
    failed_.assign(count, 0);
    failure_.resize(count);
    pool_->run(count, [&](std::size_t i, GeneticObjective& obj) {
        try {
            task(i, obj);
        } catch (const std::exception& e) {
            failed_[i] = 1;
            failure_[i] = e.what();
        } catch (...) {
            failed_[i] = 1;
            failure_[i] = "неизвестная ошибка";
        }
    });
}

namespace {
std::size_t firstFailure(const std::vector<unsigned char>& failed) {
    return static_cast<std::size_t>(std::find(failed.begin(), failed.end(), 1) - failed.begin());
}
} // namespace

void TGen::XromeToA(std::string_view sXrome, OptArray& Ao) const {
    for (std::size_t j = 0; j < genes_.size() && j < static_cast<std::size_t>(N_Param_Opt); ++j)
        Ao[j + 1] = std::fabs(NormA_[j + 1] * static_cast<double>(geneValue(sXrome, genes_[j])));
}

void TGen::MakePopulation() {
    const int L = iGetBits(static_cast<std::int32_t>(Round(1 / Precision_)));
    genes_.clear();
    for (int j = 1; j <= iop_; ++j) {
        PosGen g;
        g.gStart = genes_.empty() ? 1 : genes_.back().gStart + genes_.back().gLength;
        g.gLength = L;
        genes_.push_back(g);
    }
    LengthXrome_ = iop_ * L;
    const std::size_t first = population_.size();
    const std::size_t N = static_cast<std::size_t>(SizePopulation_);
    drawn_.resize(N);
    for (std::size_t i = 0; i < N; ++i) {
        Xromosome* x = newRecord();
        x->sX.clear();
        for (int j = 1; j <= iop_; ++j) {
            Ao_[j] = Alim_[1][j] + random_->next() * Alim_[2][j];
            appendBin(x->sX, Round(Ao_[j] / NormA_[j]), genes_[j - 1].gLength);
        }
        x->Pokolenie = 1;
        drawn_[i] = Ao_;
        reseedAtEvaluation();
        population_.push_back(x);
    }
    // The first generation is rated on the drawn values, not on their codes.
    ratePending(N, [&](std::size_t i, GeneticObjective& obj) { values_[i] = obj(drawn_[i]); });
    for (std::size_t i = 0; i < N; ++i)
        population_[first + i]->Celev_F = values_[i];
    const std::size_t f = firstFailure(failed_);
    if (f < N) {
        truncate(first + f);
        throw Error(failure_[f]);
    }
}

void TGen::SortList() {
    // Sorting (value, record) pairs keeps the values together in memory. Only
    // what changed since the last sort is sorted (the appended records and the
    // mutants) and then merged with the rest, which is still in order; records
    // of equal value end up in no defined order, but always in the same one
    // for the same list.
    const auto byValue = [](const auto& a, const auto& b) { return a.first < b.first; };
    const std::size_t n = population_.size();
    const std::size_t prefix = std::min(sortedPrefix_, n);
    inOrder_.clear();
    changed_.clear();
    for (std::size_t i = 0; i < prefix; ++i)
        (isDirty_[i] ? changed_ : inOrder_).emplace_back(population_[i]->Celev_F, population_[i]);
    for (std::size_t i = prefix; i < n; ++i)
        changed_.emplace_back(population_[i]->Celev_F, population_[i]);
    if (!std::is_sorted(inOrder_.begin(), inOrder_.end(), byValue))
        std::sort(inOrder_.begin(), inOrder_.end(), byValue);
    std::sort(changed_.begin(), changed_.end(), byValue);
    keyed_.resize(n);
    std::merge(inOrder_.begin(), inOrder_.end(), changed_.begin(), changed_.end(), keyed_.begin(), byValue);
    for (std::size_t i = 0; i < n; ++i)
        population_[i] = keyed_[i].second;
    sortedPrefix_ = n;
    isDirty_.assign(n, 0);
}

void TGen::truncate(std::size_t n) {
    for (std::size_t i = n; i < population_.size(); ++i)
        release(population_[i]);
    population_.resize(n);
    sortedPrefix_ = std::min(sortedPrefix_, n);
    if (isDirty_.size() > n) isDirty_.resize(n);
}

long long TGen::CrossingOver(int iNumPokolenie) {
    const std::size_t first = population_.size();
    const long long Nx = std::max(0LL, Round(static_cast<double>(first) * fPCrossingOver_));
    if (first == 0 || LengthXrome_ < 2) return 0;
    const long long len = LengthXrome_;
    for (long long r = 0; r < Nx; ++r) {
        const long long C = static_cast<long long>(population_.size());
        long long iX1 = Round(random_->next() * static_cast<double>(C) / 2);
        long long iX2 = C - 1 - Round(random_->next() * static_cast<double>(C) / 2);
        const long long iCrossX = Round(random_->next() * static_cast<double>(len - 2)) + 1;
        iX1 = std::clamp(iX1, 0LL, C - 1);
        iX2 = std::clamp(iX2, 0LL, C - 1);
        const std::string& p1 = population_[static_cast<std::size_t>(iX1)]->sX;
        const std::string& p2 = population_[static_cast<std::size_t>(iX2)]->sX;
        const std::size_t cut = static_cast<std::size_t>(iCrossX);
        Xromosome* c1 = newRecord();
        c1->sX.assign(p1, 0, cut);
        c1->sX.append(p2, cut, std::string::npos);
        c1->Pokolenie = iNumPokolenie;
        reseedAtEvaluation();
        Xromosome* c2 = newRecord();
        c2->sX.assign(p2, 0, cut);
        c2->sX.append(p1, cut, std::string::npos);
        c2->Pokolenie = iNumPokolenie;
        reseedAtEvaluation();
        population_.push_back(c1);
        population_.push_back(c2);
    }
    const std::size_t children = population_.size() - first;
    const OptArray base = Ao_;
    ratePending(children, [&](std::size_t i, GeneticObjective& obj) {
        OptArray a = base;
        XromeToA(population_[first + i]->sX, a);
        values_[i] = obj(a);
    });
    const std::size_t f = firstFailure(failed_);
    for (std::size_t i = 0; i < std::min(f, children); ++i)
        population_[first + i]->Celev_F = values_[i];
    if (detailed_) {
        std::vector<std::string> lines;
        const std::size_t rounds = std::min(f, children) / 2;
        lines.reserve(rounds);
        for (std::size_t r = 0; r < rounds; ++r)
            lines.push_back(
                formatPattern("F= %-8.3f S2", {population_[first + 2 * r + 1]->Celev_F}, options_.fmt));
        if (!lines.empty()) host_.appendLogLines(lines);
    }
    if (f < children) {
        // The children rated before the failing one stay, as appended one by one.
        truncate(first + f);
        throw Error(failure_[f]);
    }
    return Nx;
}

long long TGen::Mutation() {
    const long long N = SizePopulation_;
    const long long k = std::max(0LL, Round(static_cast<double>(N) * fPMutation_));
    if (static_cast<long long>(population_.size()) < N)
        throw Error("Мутация: в популяции меньше особей, чем её размер");
    if (LengthXrome_ < 1) return 0;
    mutants_.resize(static_cast<std::size_t>(k));
    mutantOf_.resize(static_cast<std::size_t>(k));
    for (long long h = 0; h < k; ++h) {
        const long long iBitMut1 = Round(random_->next() * static_cast<double>(LengthXrome_ - 1)) + 1;
        const long long index = Round(random_->next() * static_cast<double>(N - 1));
        const std::size_t at = static_cast<std::size_t>(std::clamp(index, 0LL, N - 1));
        const std::size_t bit =
            static_cast<std::size_t>(std::clamp(iBitMut1, 1LL, static_cast<long long>(LengthXrome_)) - 1);
        Xromosome* x = population_[at];
        x->sX[bit] = x->sX[bit] == '0' ? '1' : '0';
        // Each flip is rated on the chromosome as it stands after it; an
        // individual hit twice ends with the value of its second flip.
        mutants_[static_cast<std::size_t>(h)] = x->sX;
        mutantOf_[static_cast<std::size_t>(h)] = at;
        if (at < isDirty_.size()) isDirty_[at] = 1;
        reseedAtEvaluation();
    }
    const std::size_t count = static_cast<std::size_t>(k);
    const OptArray base = Ao_;
    ratePending(count, [&](std::size_t i, GeneticObjective& obj) {
        OptArray a = base;
        XromeToA(mutants_[i], a);
        values_[i] = obj(a);
    });
    const std::size_t f = firstFailure(failed_);
    for (std::size_t h = 0; h < std::min(f, count); ++h)
        population_[mutantOf_[h]]->Celev_F = values_[h];
    if (f < count) throw Error(failure_[f]);
    return k;
}

void TGen::DestroyBad(std::size_t iNumOsobey) {
    if (population_.size() > iNumOsobey) truncate(iNumOsobey);
    if (population_.empty()) genes_.clear();
}

int TGen::MoveBest(int iNPokolenie) {
    int copied = 0;
    try {
        const auto N = wholeNumber(host_.copyBestCountText());
        if (!N) return 0;
        const long long want = static_cast<long long>(*N) + 1;
        const long long n = std::clamp(want, 0LL, static_cast<long long>(best_.size()));
        for (long long i = 0; i < n; ++i) {
            const Xromosome* b = best_[static_cast<std::size_t>(i)];
            Xromosome* c = newRecord();
            c->sX = b->sX;
            c->Celev_F = b->Celev_F;
            c->Pokolenie = iNPokolenie;
            population_.push_back(c);
            ++copied;
        }
        for (auto it = best_.rbegin(); it != best_.rend(); ++it)
            release(*it);
        best_.clear();
        SortList();
        DestroyBad(static_cast<std::size_t>(SizePopulation_));
    } catch (const std::exception&) {
        // A failed re-injection is not worth ending the run for.
    }
    return copied;
}

void TGen::UpdMain() {
    host_.appendLog("Создано генов " + std::to_string(genes_.size()));
}

void TGen::StoreBest(int g) {
    if (population_.empty()) return;
    const Xromosome* first = population_.front();
    Xromosome* c = newRecord();
    c->sX = first->sX;
    c->Celev_F = first->Celev_F;
    c->Pokolenie = g;
    best_.push_back(c);
}

GeneticOutcome TGen::Execute() {
    GeneticOutcome out;
    control_.bCopyBest.store(false);
    control_.Stop_Gen.store(false);
    try {
        generation_ = 0;
        evaluation_ = 0;
        random_->reseed(0, 0);
        MakePopulation();
        long long g = 1;
        dMinimumAll_ = kMax_Start;
        do {
            GenerationTrace tr;
            tr.g = g;
            try {
                generation_ = g;
                evaluation_ = 0;
                const double G = iMaxBest_;
                // A setting of the user is followed for one generation: p / 101
                // stays within 0.01 of p / 100, so the next generation is back
                // on the schedule.
                const int p1 = host_.crossoverPosition();
                if (std::fabs(fPCrossingOver_ - p1 / 100.0) > 0.01) {
                    fPCrossingOver_ = p1 / 101.0;
                } else {
                    fPCrossingOver_ = 0.45 * std::fabs(std::sin(1 - 8 * static_cast<double>(g) / G));
                    host_.setCrossoverPosition(static_cast<int>(Round(fPCrossingOver_ * 101)));
                }
                const int p2 = host_.mutationPosition();
                if (std::fabs(fPMutation_ - p2 / 100.0) > 0.01) {
                    fPMutation_ = p2 / 101.0;
                } else {
                    fPMutation_ = 0.5 * std::fabs(std::sin(12 * static_cast<double>(g) / G - 0.025));
                    host_.setMutationPosition(static_cast<int>(Round(fPMutation_ * 101)));
                }
                tr.fPCrossingOver = fPCrossingOver_;
                tr.fPMutation = fPMutation_;
                if (control_.bCopyBest.exchange(false)) {
                    host_.appendLog("Копирование лучших");
                    tr.copied = MoveBest(static_cast<int>(g));
                }
                const double share = static_cast<double>(g) / G;
                if (std::fabs(share - 0.8) < 0.0002 || std::fabs(share - 0.6) < 0.0002 ||
                    std::fabs(share - 0.2) < 0.0002)
                    control_.bCopyBest.store(true);
                SortList();
                if (!population_.empty() && population_.front()->Celev_F < dMinimumAll_) {
                    dMinimumAll_ = population_.front()->Celev_F;
                    XromeToA(population_.front()->sX, Ao_);
                    Aopt_ = Ao_;
                    const double v = rate(Ao_);
                    out.criterion = v;
                    tr.newBest = true;
                    if (!(Aopt_[2] > 0))
                        throw Error("Лучшая особь имеет A = 0: 1/A в строке хода решения не определено");
                    host_.appendLog(formatPattern(" ЦФ=%-9.5f  Beta=%-7.6f  A=%-9.3f   Кповт=%-9.6f",
                                                  {v, Aopt_[1], 1 / Aopt_[2], Aopt_[3]}, options_.fmt));
                }
                StoreBest(static_cast<int>(g));
                const auto stored = static_cast<long long>(best_.size());
                host_.setGenerationsText(std::to_string(stored < iMaxBest_ ? stored : iMaxBest_));
                detailed_ = host_.detailedProgress();
                if (detailed_) UpdMain();
                tr.crossovers = CrossingOver(static_cast<int>(g + 1));
                SortList();
                DestroyBad(static_cast<std::size_t>(SizePopulation_));
                ++g;
                tr.mutations = Mutation();
                // After the last generation g is one past the count; the bar stops at full.
                host_.setProgress(static_cast<int>(std::min(100LL, Round(static_cast<double>(g) * 100 / G))));
            } catch (const std::exception& e) {
                out.interrupted = true;
                out.error = e.what();
                host_.appendLog("Исключительная ситуация!");
                break;
            }
            ++out.generations;
            if (options_.onGeneration) options_.onGeneration(tr);
            if (control_.Stop_Gen.load() || control_.abandon.load()) {
                // A stop during the last generation cut nothing short.
                out.stopped = g <= iMaxBest_;
                break;
            }
        } while (g <= iMaxBest_);
        if (out.stopped) {
            // The log alone tells a stopped run from a finished one once the
            // results are shown.
            const long long planned = iMaxBest_;
            host_.appendLog(formatPattern("Расчет остановлен пользователем на поколении %d из %d",
                                          {out.generations, planned}, options_.fmt));
            // The bar runs a generation ahead of the count; a stopped run
            // shows the share it completed, neither empty nor full.
            host_.setProgress(static_cast<int>(
                std::clamp(Round(static_cast<double>(out.generations) * 100 / planned), 1LL, 99LL)));
        }
    } catch (const std::exception& e) {
        // Before the first generation: the write-up still runs, with Aopt as
        // it stood.
        if (out.error.empty()) out.error = e.what();
    }

    // Write-up.
    Ao_ = Aopt_;
    population_.clear();
    best_.clear();
    genes_.clear();
    spare_.clear();
    records_.clear();
    s_.Ao = Ao_;
    s_.Aopt = Aopt_;
    s_.iMaxBest = iMaxBest_;
    s_.bCopyBest = control_.bCopyBest.load();
    result_ = GeneticResult{};
    result_.optimiser = s_;

    double sred = s_.Sred, sko = s_.SKO;
    censoring(Ao_, s_.Sred_Opt, s_.SKO_Opt, s_.Sred, s_.SKO, sred, sko);
    const double A = Ao_[2], B = Ao_[1], K = Ao_[3];
    // A law without failures (A, B or K of 0) or a censoring law without
    // spread would make every later results table fail on a division by 0;
    // the model stays as it was.
    if (!(A > 0 && B > 0 && K > 0) || !(sko > 0) || !std::isfinite(sred))
        throw Error(
            "Генетический алгоритм не нашёл пригодного закона (A = " + formatGeneral(A, options_.fmt) +
            ", Beta = " + formatGeneral(B, options_.fmt) + ", Кповт = " + formatGeneral(K, options_.fmt) +
            ", СКО = " + formatGeneral(sko, options_.fmt) +
            "): модель «Генетическая» не записана; задайте более мелкую точность подбора");

    Mod_Weib m = s_.models[ModelId::Genetic];
    m.Executed = true;
    m.A = A;
    m.B = B;
    m.K_powtor = K;
    m.SKO = sko;
    m.Sred = sred;
    m.SKO_out = sko;
    m.Unsens = 0;
    m.Kol_Nakopl = 0;
    modelCurves(s_, m, m.Sred, m.SKO);
    for (double v : m.Kol_F_priv)
        if (!std::isfinite(v))
            throw Error("Генетический алгоритм: ожидаемое число отказов не является конечным числом");
    const double oldSred = s_.Sred, oldSKO = s_.SKO;
    s_.Sred = sred;
    s_.SKO = sko;
    RealArray like;
    double likeTotal = 0;
    std::string line;
    try {
        Hist_Made(s_, m.A, m.B, m.K_powtor, like, likeTotal, m.SKO_out, options_.fmt,
                  [&line](const std::string& l) { line = l; });
        if (!std::isfinite(likeTotal) || !std::isfinite(m.SKO_out))
            throw Error("Генетический алгоритм: модельная гистограмма не является конечными числами");
    } catch (...) {
        s_.Sred = oldSred;
        s_.SKO = oldSKO;
        throw;
    }
    GeneticResult::Model written;
    written.fitted = std::move(m);
    written.Mas_Out_Like = std::move(like);
    written.Kol_Nakopl_Like = likeTotal;
    written.Sred = sred;
    written.SKO = sko;
    result_.model = std::move(written);
    host_.appendLog(line);
    return out;
}

void applyGeneticResult(Analysis& s, const GeneticResult& r) {
    static_cast<GeneticState&>(s) = r.optimiser;
    if (!r.model) return;
    s.Sred = r.model->Sred;
    s.SKO = r.model->SKO;
    s.models[ModelId::Genetic] = r.model->fitted;
    s.Mas_Out_Like = r.model->Mas_Out_Like;
    s.Kol_Nakopl_Like = r.model->Kol_Nakopl_Like;
}

GeneticOutcome runGenetic(Analysis& s, const GeneticFields& f, GeneticHost& host, GeneticControl& control,
                          const GeneticOptions& options) {
    const GeneticSettings settings = startGenetic(s, f, options.fmt);
    TGen run(s, settings, host, control, options);
    GeneticOutcome out;
    try {
        out = run.Execute();
    } catch (...) {
        applyGeneticResult(s, run.result());
        throw;
    }
    applyGeneticResult(s, run.result());
    host.showResults();
    return out;
}

} // namespace relan
