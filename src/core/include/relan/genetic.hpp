#pragma once

// The genetic search for the failure law: chromosomes of '0'/'1' characters
// coding B, A, K_powtor and, when searched, the censoring mean and deviation;
// a population rated by the probability-weighted Pearson objective, crossed,
// mutated and trimmed generation after generation. One run object (TGen)
// serves the window, which runs it on a worker thread, and the command line,
// which runs it in place; it talks to either through GeneticHost. The run
// works on its own copy of the state and hands back a GeneticResult, which
// the caller applies on its own thread.

#include "relan/numtext.hpp"
#include "relan/state.hpp"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace relan {

// ---------------------------------------------------------------------------
// Chromosome coding

// Halvings until the value drops below 1 (the number of binary digits of a
// positive value); 0 for values <= 0.
int iGetBits(std::int32_t iVal);
// The low Size bits of Value, most significant first, as '0'/'1'.
std::string IntToBin(std::int64_t Value, int Size);
// Inverse of IntToBin; any character other than '1' counts as 0.
std::int64_t BinToInt(std::string_view Value);

// One gene of the chromosome: 1-based first character and length.
struct PosGen {
    int gStart = 0;
    int gLength = 0;
};

// One individual.
struct Xromosome {
    std::string sX;     // LengthXrome characters '0'/'1'
    double Celev_F = 0; // objective value, lower is better
    int Pokolenie = 0;  // generation in which the record was created or copied
};

// -1, 0, +1 by Celev_F: the order of the population, best first.
int SortPopulation(const Xromosome* Item1, const Xromosome* Item2);

// ---------------------------------------------------------------------------
// Objective

// The objective of a parameter vector (CelevFunction): Pirson_ZFGen with
// A = Ao[2], B = Ao[1], K = Ao[3] and the censoring law from the state or
// from Ao[4], Ao[5] as Sred_Opt / SKO_Opt say. The boundaries, observed
// counts and settings are copied at construction, so an instance never reads
// the state again and one instance per thread can run side by side. The
// censoring shares are kept while Mu and Sig stay the same (always, when the
// censoring law is not searched) and F per boundary while A and B do. Gives
// bit for bit the value of Pirson_ZFGen; only the model arrays, which the run
// recomputes at its end anyway, are not written.
class GeneticObjective {
  public:
    explicit GeneticObjective(const Analysis& s);
    double operator()(const OptArray& Ao);
    double value(double A, double B, double k_pwt, double Mu, double Sig);

  private:
    std::vector<double> t_;        // boundaries, t_[0] = 0
    std::vector<double> observed_; // O(i)
    std::vector<double> inWarr_;   // 1 - G at the midpoints, for cachedMu_ / cachedSig_
    std::vector<double> F_;        // weibCDF per boundary, for cachedA_ / cachedB_
    double Izd_Prived_ = 0;
    double Kol_izw_ = 0;
    double kTop_ = 0;
    double Sred_ = 0;
    double SKO_ = 0;
    bool Sred_Opt_ = false;
    bool SKO_Opt_ = false;
    double cachedMu_ = 0, cachedSig_ = 0;
    bool haveG_ = false;
    double cachedA_ = 0, cachedB_ = 0;
    bool haveF_ = false;
};

// ---------------------------------------------------------------------------
// Settings of a run

// The fields of the tab "2. Генетический алгоритм" as the user left them.
struct GeneticFields {
    std::string precisionText = "0.0000001"; // "Точность подбора"
    std::string populationSizeText = "3000"; // "Размер популяции"
    std::string generationsText = "1500";    // "Число поколений"
    std::string copyBestCountText = "50";    // "шт.", stored bests to re-inject
};

struct GeneticSettings {
    double Precision = 0;
    int SizePopulation = 0;
    int iMaxBest = 0;      // generations
    int copyBestCount = 0; // as validated at the start; each re-injection re-reads the field
};

inline constexpr const char* kLabelPrecision = "Точность подбора";
inline constexpr const char* kLabelPopulation = "Размер популяции";
inline constexpr const char* kLabelGenerations = "Число поколений";
inline constexpr const char* kLabelCopyBest = "шт.";

// Converts and checks the four fields; relan::Error naming the field when
// one does not convert or is out of range: Round(1 / Precision) must lie in
// 1 .. 2^31 - 1 (genes of 1 to 31 digits), population and generations must
// be whole numbers of at least 1, the copy count a whole number.
GeneticSettings readGeneticFields(const GeneticFields& f, const NumberFormat& fmt);

// What the start button does on the user-interface thread before the worker
// starts: checks the fields and the data (failures loaded, a censoring
// deviation that is not 0 when it is not searched), then sets iop, Precision,
// NormA and rebuilds the histogram. On relan::Error nothing has changed.
GeneticSettings startGenetic(Analysis& s, const GeneticFields& f, const NumberFormat& fmt);

// ---------------------------------------------------------------------------
// The run and its controls

// The run's window on the world, called on the run's thread. The window
// answers the questions from values it keeps up to date as the user changes
// its controls and posts the rest to its own thread without waiting; the
// command line answers them in place. Values are plain: the run keeps no
// reference to anything the host returns.
//
// Order of the calls. Before the first generation: none. Each generation g:
//   1. crossoverPosition(); then setCrossoverPosition(p) when the schedule
//      applies (not after a setting of the user)
//   2. mutationPosition(); then setMutationPosition(p) likewise
//   3. when a re-injection is due: appendLog("Копирование лучших"), then
//      copyBestCountText()
//   4. when the population's best is a new lowest value: appendLog(the
//      " ЦФ=..." line)
//   5. setGenerationsText(the text for "Число поколений")
//   6. detailedProgress(); when true: appendLog("Создано генов <iop>"),
//      and after the crossover appendLogLines(the "F= ... S2" lines, one per
//      crossover, in crossover order)
//   7. setProgress(Round((g + 1) * 100 / generations), at most 100)
// then the stop flag is tested. When a stop request ends the run before its
// last generation: appendLog("Расчет остановлен пользователем на поколении
// <g> из <generations>"), then setProgress(Round(g * 100 / generations),
// within 1..99). An error inside a generation:
// appendLog("Исключительная ситуация!") and the loop ends. On every way out:
// appendLog(the "Доверительный 95% интервал модели ..." line) once the model
// is written into the run's result. runGenetic, which applies the result in
// place, then calls showResults().
class GeneticHost {
  public:
    virtual ~GeneticHost() = default;
    virtual int crossoverPosition() = 0; // "Вероятность скрещивания", 0..100
    virtual void setCrossoverPosition(int position) = 0;
    virtual int mutationPosition() = 0; // "Вероятность мутаций", 0..100
    virtual void setMutationPosition(int position) = 0;
    virtual std::string copyBestCountText() = 0;                  // the text of "шт."
    virtual void setGenerationsText(const std::string& text) = 0; // "Число поколений"
    virtual bool detailedProgress() = 0;                 // "Вывод хода расчета" ticked
    virtual void setProgress(int position) = 0;          // "Ход расчета", 0..100
    virtual void appendLog(const std::string& line) = 0; // "Ход решения"
    // The crossover lines of one generation together; a window may append
    // them in one go.
    virtual void appendLogLines(const std::vector<std::string>& lines) {
        for (const auto& l : lines)
            appendLog(l);
    }
    // Rebuild and show the results (Diagrams) from the state runGenetic has
    // just applied the result to. A window applying the result itself on its
    // own thread does that there instead.
    virtual void showResults() {}
};

// The two requests of the buttons "Stop" and "Скопировать лучших". The
// window sets them from its thread at any time; the run tests each once per
// generation and clears both when it starts.
struct GeneticControl {
    std::atomic<bool> Stop_Gen{false};
    std::atomic<bool> bCopyBest{false};
    // The window is going away: end after the current generation. Unlike a
    // stop, a run starting late does not clear it, so that a window closed
    // before its run got going does not wait for the whole run.
    std::atomic<bool> abandon{false};
};

// What one generation did, for tests and diagnostics.
struct GenerationTrace {
    long long g = 0;
    double fPCrossingOver = 0;
    double fPMutation = 0;
    long long crossovers = 0; // Nx
    long long mutations = 0;  // k
    int copied = -1;          // records re-injected at its start, -1 when none was due
    bool newBest = false;
};

struct GeneticOptions {
    NumberFormat fmt;
    // With a seed the run is the same bit for bit every time and for any
    // number of threads; without one the generator follows the clock.
    std::optional<std::uint64_t> seed;
    unsigned threads = 0; // rating threads; 0 = one per core, at most 256
    // Called at the end of every completed generation, on the run's thread.
    std::function<void(const GenerationTrace&)> onGeneration;
};

// What a run hands back for the state it was started from. The optimiser's
// state, which the next run carries on from, comes back however the run
// ended; the model and the censoring law it fitted only when it found a
// usable law.
struct GeneticResult {
    GeneticState optimiser;

    struct Model {
        Mod_Weib fitted;
        RealArray Mas_Out_Like;
        double Kol_Nakopl_Like = 0;
        double Sred = 0; // the censoring law the model was fitted with, searched or not
        double SKO = 0;
    };
    std::optional<Model> model;
};

// Writes the result into the state the run was started from (after
// startGenetic, with nothing else changed in between).
void applyGeneticResult(Analysis& s, const GeneticResult& r);

struct GeneticOutcome {
    long long generations = 0; // completed
    bool stopped = false;      // ended by the stop request before the last generation
    bool interrupted = false;  // ended by an error inside a generation
    std::string error;         // that error's text
    double criterion = 0;      // objective at Aopt, as in the last " ЦФ=" line
};

// The optimiser run (the worker thread's body and its operators).
//
// Random numbers: the generator is the 32-bit one of the original program
// (seed := seed * 134775813 + 1 mod 2^32, a draw is seed / 2^32), re-seeded
// at the start of the run and at every objective evaluation. Without a seed
// every re-seeding reads the clock. With a seed S, the re-seeding at the k-th
// evaluation of generation g (generation 0 being the initial population, k = 0
// the start of the run) takes a value mixed from S, g and k instead. All draws
// are made on the run's thread in the order of the operators; the
// evaluations they call for are then rated in parallel, each result landing
// in its own record, so the number of threads cannot change anything.
class TGen {
  public:
    // Copies the state as startGenetic left it; the run never touches the
    // caller's state, so it may go on on another thread while the caller's
    // thread keeps the original.
    TGen(const Analysis& s, const GeneticSettings& settings, GeneticHost& host, GeneticControl& control,
         GeneticOptions options = {});
    ~TGen();
    TGen(const TGen&) = delete;
    TGen& operator=(const TGen&) = delete;

    // The whole run: generations, then the write-up of the model (the genetic
    // model, and Sred / SKO when searched, with Hist_Made) into result(). Raises
    // relan::Error, with no model in result() but the optimiser's state
    // there all the same, when the best parameter vector is no usable law
    // (A, B or K_powtor of 0, or a searched deviation of 0, which a coarse
    // precision can produce).
    GeneticOutcome Execute();
    const GeneticResult& result() const { return result_; }

    // The operators, used by Execute and open to tests.
    void MakePopulation();
    long long CrossingOver(int iNumPokolenie); // returns Nx
    long long Mutation();                      // returns k
    void DestroyBad(std::size_t iNumOsobey);
    int MoveBest(int iNPokolenie); // returns the number of records copied
    void UpdMain();
    void XromeToA(std::string_view sXrome, OptArray& Ao) const;
    // Appends a copy of the population's best to ListBest (step 7 of a generation).
    void StoreBest(int g);
    void SortList();

    void setProbabilities(double crossover, double mutation) {
        fPCrossingOver_ = crossover;
        fPMutation_ = mutation;
    }
    void setDetailed(bool on) { detailed_ = on; }

    const std::vector<Xromosome*>& ListPopulation() const { return population_; }
    const std::vector<Xromosome*>& ListBest() const { return best_; }
    const std::vector<PosGen>& ListGens() const { return genes_; }
    int LengthXrome() const { return LengthXrome_; }

  private:
    class Pool;
    class Random;
    Xromosome* newRecord();
    void release(Xromosome* x);
    void truncate(std::size_t n); // keeps the first n records of the population
    void reseedAtEvaluation();
    double rate(const OptArray& Ao); // on the run's thread
    void ratePending(std::size_t count, const std::function<void(std::size_t, GeneticObjective&)>& task);

    Analysis s_; // the run's own copy
    GeneticResult result_;
    GeneticHost& host_;
    GeneticControl& control_;
    GeneticOptions options_;
    int SizePopulation_;
    int iMaxBest_;
    int iop_;
    double Precision_;
    OptArray NormA_;
    AlimTable Alim_;
    OptArray Ao_;   // the run's Ao; entries above iop keep their value from the state
    OptArray Aopt_; // best of the run; carried over from the state until the first best
    double dMinimumAll_ = 0;
    double fPCrossingOver_ = 0;
    double fPMutation_ = 0;
    bool detailed_ = false;
    int LengthXrome_ = 0;
    long long generation_ = 0; // the generation whose draws are being made, 0 = initial population
    std::uint64_t evaluation_ = 0;

    std::vector<PosGen> genes_;
    std::vector<Xromosome*> population_;
    std::vector<Xromosome*> best_;
    // Storage of every record of the run; records leaving a list wait in
    // spare_ to be reused, so that a generation allocates nothing once the
    // population has reached its largest size.
    std::deque<Xromosome> records_;
    std::vector<Xromosome*> spare_;

    std::unique_ptr<Random> random_;
    std::unique_ptr<GeneticObjective> objective_; // the run's thread's own
    std::unique_ptr<Pool> pool_;
    // Scratch of the operators, kept between generations.
    std::vector<OptArray> drawn_;
    std::vector<std::string> mutants_;
    std::vector<std::size_t> mutantOf_;
    std::vector<double> values_;
    std::vector<unsigned char> failed_;
    std::vector<std::string> failure_;
    // Order of the population: its first sortedPrefix_ records are in order
    // except those marked in isDirty_ (mutated since), the rest were appended.
    std::size_t sortedPrefix_ = 0;
    std::vector<unsigned char> isDirty_;
    std::vector<std::pair<double, Xromosome*>> keyed_, inOrder_, changed_;
};

// startGenetic, a TGen run and applyGeneticResult in one go, on the
// caller's thread, then host.showResults() when a model was written; for the
// command line and tests. The optimiser's state is applied even when the
// run raises.
GeneticOutcome runGenetic(Analysis& s, const GeneticFields& f, GeneticHost& host, GeneticControl& control,
                          const GeneticOptions& options = {});

} // namespace relan
