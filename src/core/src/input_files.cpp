#include "relan/input_files.hpp"

#include "relan/error.hpp"
#include "relan/special.hpp"
#include "relan/text1251.hpp"

#include <algorithm>
#include <cmath>
#include <system_error>

namespace relan {
namespace {

constexpr const char* kDataErrorAtLine = "Ошибка в данных в строке ";
constexpr const char* kInvalidNumeric = "Invalid numeric input";

std::string lineError(const std::string& file, int line, const std::string& detail) {
    return std::string(kDataErrorAtLine) + std::to_string(line) + " файла " + file + ": " + detail;
}

// Sequential reader over the raw cp1251 bytes, with the two kinds of read the
// formats use: whole lines, and numbers that may be preceded by blank lines.
class Reader {
public:
    explicit Reader(std::string_view data) : data_(data) {}

    bool eof() const { return pos_ >= data_.size(); }
    int lineNo() const { return line_; }

    // One line without its CR LF / LF; empty at the end of the data.
    std::string_view readLine() {
        std::size_t start = pos_;
        std::size_t lf = data_.find('\n', pos_);
        std::size_t end = lf == std::string_view::npos ? data_.size() : lf;
        pos_ = lf == std::string_view::npos ? data_.size() : lf + 1;
        std::string_view line = data_.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ++line_;
        return line;
    }

    struct Number {
        std::string text; // empty when the data ended before a number
        int line = 0;     // line of the number, from 1
        bool tooLong = false;
    };

    // Skips codes 0..32 (line breaks included), takes the run up to the next
    // such code, then skips the rest of that line.
    Number readNumber(std::size_t maxLen) {
        while (pos_ < data_.size() && static_cast<unsigned char>(data_[pos_]) <= 32) {
            if (data_[pos_] == '\n') ++line_;
            ++pos_;
        }
        Number n;
        n.line = line_;
        std::size_t start = pos_;
        while (pos_ < data_.size() && static_cast<unsigned char>(data_[pos_]) > 32) ++pos_;
        n.text.assign(data_.substr(start, pos_ - start));
        if (n.text.size() > maxLen) n.tooLong = true;
        if (pos_ < data_.size()) readLine();
        return n;
    }

private:
    std::string_view data_;
    std::size_t pos_ = 0;
    int line_ = 1; // number of the line the reader is in
};

constexpr std::size_t kRealRun = 64;
constexpr std::size_t kIntegerRun = 32;

std::string shown(std::string_view bytes) { return cp1251::toUtf8(bytes); }

double headerReal(Reader& r, const std::string& file) {
    auto n = r.readNumber(kRealRun);
    if (n.text.empty()) return 0;
    auto v = n.tooLong ? std::nullopt : parseReal(n.text, '.');
    if (!v) throw Error(lineError(file, n.line, "'" + shown(n.text) + "': " + kInvalidNumeric));
    return *v;
}

int headerInteger(Reader& r, const std::string& file) {
    auto n = r.readNumber(kIntegerRun);
    if (n.text.empty()) return 0;
    auto v = n.tooLong ? std::nullopt : parseInt32(n.text);
    if (!v) throw Error(lineError(file, n.line, "'" + shown(n.text) + "': " + kInvalidNumeric));
    return *v;
}

bool causeMatches(const std::string& lowerName, const std::string& lowerText) {
    return !lowerName.empty() && lowerText.find(lowerName) != std::string::npos;
}

struct Threshold {
    double AnalysisState::*var;
    double q;
    bool plainCount; // counted by failures documented rather than corrected sum
    const char* remark;
};

constexpr Threshold kThresholds[] = {
    {&AnalysisState::T90expl, 0.1, false, ", отказов 10% от парка"},
    {&AnalysisState::T80expl, 0.2, false, ", отказов 20% от парка"},
    {&AnalysisState::T50expl, 0.5, true, ", отказов 50% от наблюдаемого парка"},
    {&AnalysisState::t50zen, 0.5, false, ", отказов 50% от парка с учетом цензурирования"},
    {&AnalysisState::T20expl, 0.8, false, ", отказов 80% от парка"},
    {&AnalysisState::T10expl, 0.9, false, ", отказов 90% от парка"},
};

double frac(double x) { return x - std::trunc(x); }

std::string withSeparator(const char* intPart, const char* fracPart, const NumberFormat& fmt) {
    return std::string(intPart) + fmt.decimal + fracPart;
}

} // namespace

void sort_MinMax(std::vector<Problems>& z) {
    // The exchange sort this replaces compares strictly and so keeps records
    // with equal times in their order; a stable sort yields the same order
    // without its quadratic cost on large files.
    std::stable_sort(z.begin(), z.end(), [](const Problems& a, const Problems& b) { return a.time < b.time; });
}

std::optional<std::string> generationsForFailureCount(int kolOtk) {
    if (kolOtk >= 0 && kolOtk <= 500) return "1500";
    if (kolOtk >= 501 && kolOtk <= 999) return "2000";
    if (kolOtk >= 1000 && kolOtk <= 99999) return "4000";
    return std::nullopt;
}

FailureLoad loadFailureData(const std::string& path, const NumberFormat& fmt, AnalysisState& state) {
    return parseFailureData(readInputFile(path), path, fmt, state);
}

FailureLoad parseFailureData(std::string_view bytes, const std::string& file, const NumberFormat& fmt,
                             AnalysisState& state) {
    AnalysisState s = state; // taken over only when the whole file has been read
    FailureLoad out;
    Reader r(bytes);

    s.MasProbl.clear();
    s.Otk_Izd = 0;
    s.Comment = shown(r.readLine());
    out.fields.Label10 = s.Comment;

    s.Sred = headerReal(r, file);
    s.SKO = headerReal(r, file);
    s.Kol_Izd_All = headerInteger(r, file);
    s.KolOtk = headerInteger(r, file);
    const int nPrich = headerInteger(r, file);

    if (nPrich < 0 || nPrich > Mx_prich)
        throw Error("Файл " + file + ": число причин отказов " + std::to_string(nPrich) +
                    " вне допустимых пределов 0.." + std::to_string(Mx_prich));
    if (s.SKO <= 0)
        throw Error("Файл " + file + ": СКО времени гарантии должно быть больше 0, в файле " +
                    formatGeneral(s.SKO, fmt));
    if (s.Kol_Izd_All <= 0)
        throw Error("Файл " + file + ": количество изделий в гарантийной эксплуатации должно быть больше 0, в файле " +
                    std::to_string(s.Kol_Izd_All));
    if (s.KolOtk <= 0)
        throw Error("Файл " + file + ": количество всех отказов должно быть больше 0, в файле " +
                    std::to_string(s.KolOtk));

    out.fields.meSred = formatGeneral(s.Sred, fmt);
    out.fields.meSKO = formatGeneral(s.SKO, fmt);
    out.fields.meKolAll = std::to_string(s.Kol_Izd_All);
    out.fields.meKolOtk = std::to_string(s.KolOtk);
    s.NPrich = nPrich;
    s.Vidy_otkazov[0].Nazv_Prich = "Не установл.";
    out.fields.LabeledEdit2 = out.fields.meSred;
    s.tGar = s.Sred;
    out.fields.Edit1 = withSeparator("1", "00025", fmt);
    out.fields.Edit6 = withSeparator("1", "00025", fmt);
    out.fields.Edit5 = withSeparator("1", "0005", fmt);
    out.fields.Edit2 = withSeparator("0", "0000002", fmt);

    // Cause names stay as cp1251 bytes while matching, so that lower-casing
    // follows the code page's own letters.
    std::array<std::string, Mx_prich + 1> lowerNames{};
    for (int k = 1; k <= Mx_prich; ++k) s.B_otk[k] = Vid_otkaza{};
    for (int k = 1; k <= nPrich; ++k) {
        std::string_view name = r.eof() ? std::string_view{} : trimControl(r.readLine());
        s.B_otk[k].Nazv_Prich = shown(name);
        lowerNames[k] = cp1251::lower(name);
    }
    out.fields.NPokoleny = generationsForFailureCount(s.KolOtk);

    std::vector<std::string> lowerPri; // cp1251, lower case, per failure
    std::vector<int> lineOf;
    while (!r.eof()) {
        const int lineNo = r.lineNo();
        std::string_view line = trimControl(r.readLine());
        if (line.empty() && r.eof()) break; // one empty line closing the file is not a failure
        Problems p;
        std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos)
            throw Error(lineError(file, lineNo,
                                  "нет табуляции между наработкой и источником отказа, " +
                                      notValidFloatText("") + " («" + shown(line) + "»)"));
        std::string timeText(line.substr(0, tab));
        for (char& c : timeText)
            if (c == '.' || c == ',') c = '.';
        auto t = parseReal(timeText, '.');
        if (!t) throw Error(lineError(file, lineNo, notValidFloatText(shown(line.substr(0, tab)))));
        p.time = *t;
        std::string_view source = trimControl(line.substr(tab));
        if (auto star = source.find('*'); star != std::string_view::npos)
            p.komment = shown(star + 2 <= source.size() ? source.substr(star + 2) : std::string_view{});
        const std::string lowerSource = cp1251::lower(source);
        bool matched = false;
        for (int k = 1; k <= nPrich; ++k) {
            if (causeMatches(lowerNames[k], lowerSource)) {
                p.chey = k;
                matched = true;
                s.B_otk[k].Dolya += 1;
            }
        }
        if (matched) p.Pri = shown(source);
        lowerPri.push_back(matched ? lowerSource : std::string());
        lineOf.push_back(lineNo);
        s.MasProbl.push_back(std::move(p));
    }

    // Rank: by count, largest first, equal counts in file order.
    std::array<int, Mx_prich> order{};
    for (int i = 0; i < Mx_prich; ++i) order[i] = i + 1;
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return s.B_otk[a].Dolya > s.B_otk[b].Dolya; });
    std::array<std::string, Mx_prich + 1> rankedLower{};
    for (int i = 0; i < Mx_prich; ++i) {
        s.Vidy_otkazov[i + 1] = s.B_otk[order[i]];
        rankedLower[i + 1] = lowerNames[order[i]];
    }
    for (std::size_t i = 0; i < s.MasProbl.size(); ++i) {
        auto& p = s.MasProbl[i];
        for (int k = 1; k <= nPrich; ++k)
            if (causeMatches(rankedLower[k], lowerPri[i])) p.chey = k;
    }

    // The corrected count divides by the share still under warranty; a
    // failure after every warranty has ended has no such share.
    for (std::size_t i = 0; i < s.MasProbl.size(); ++i) {
        const double t = s.MasProbl[i].time;
        const double inWarranty = 1 - CDF_Gauss(s.Sred, s.SKO, t);
        if (!(inWarranty > 0) || !std::isfinite(1 / inWarranty))
            throw Error(lineError(file, lineOf[i],
                                  "отказ на наработке " + formatGeneral(t, fmt) +
                                      " ч наступил, когда доля изделий на гарантии равна 0 "
                                      "(деление на ноль при учете цензурирования)"));
    }

    s.Kol_izw = static_cast<int>(s.MasProbl.size());
    sort_MinMax(s.MasProbl);
    s.Popravka_Unknow = static_cast<double>(s.Kol_izw) / s.KolOtk;
    s.Izd_Prived = s.Kol_Izd_All * s.Popravka_Unknow;

    out.grid.push_back({" № отказа", "Наработка, час", "Источник отказа", "Что ремонтировалось или заменено"});
    for (const Threshold& th : kThresholds) s.*(th.var) = 0;
    double sum = 0;
    double tPrev = 0;
    for (int i = 0; i < s.Kol_izw; ++i) {
        const Problems& p = s.MasProbl[i];
        const double t = p.time;
        GridRow row;
        row[0] = std::to_string(i + 1);
        row[1] = formatGeneral(t, fmt);
        sum += 1 / (1 - CDF_Gauss(s.Sred, s.SKO, t));
        const std::string& st = s.Vidy_otkazov[p.chey].Nazv_Prich;
        row[2] = st;
        row[3] = p.komment;
        if (t >= s.tGar && s.Otk_Izd == 0) s.Otk_Izd = sum / s.Izd_Prived;
        for (const Threshold& th : kThresholds) {
            const double x = th.plainCount ? static_cast<double>(i + 1) : sum;
            if (x / s.Izd_Prived >= th.q && s.*(th.var) == 0) {
                row[2] = st + th.remark;
                s.*(th.var) = t - (t - tPrev) * frac(x - th.q * s.Izd_Prived);
            }
        }
        tPrev = t;
        out.grid.push_back(std::move(row));
    }
    if (!std::isfinite(sum))
        throw Error("Файл " + file + ": сумма отказов с учетом цензурирования не конечна");

    s.uk = true;
    s.Perv = true;
    state = std::move(s);
    return out;
}

WarrantyLoadFields loadWarrantyTerms(const std::string& path, const NumberFormat& fmt, AnalysisState& state) {
    auto fields = parseWarrantyTerms(readInputFile(path), path, fmt, state);
    std::error_code ec;
    auto abs = std::filesystem::absolute(path, ec);
    fields.Edit4 = ec ? path : abs.string();
    return fields;
}

WarrantyLoadFields parseWarrantyTerms(std::string_view bytes, const std::string& file, const NumberFormat& fmt,
                                      AnalysisState& state) {
    Reader r(bytes);
    WarrantyLoadFields out;
    out.Edit4 = file;
    std::string comment = shown(r.readLine());
    RealArray terms;
    while (!r.eof()) {
        auto n = r.readNumber(kRealRun);
        // Blank space after the last value is the end of the list, not a
        // warranty term of 0 h.
        if (n.text.empty()) break;
        auto v = n.tooLong ? std::nullopt : parseReal(n.text, '.');
        if (!v) throw Error(lineError(file, n.line, "'" + shown(n.text) + "': " + kInvalidNumeric));
        terms.push_back(*v);
    }
    if (terms.size() < 2)
        throw Error("Файл " + file + ": для среднего и СКО нужны хотя бы два значения гарантийного срока, в файле " +
                    std::to_string(terms.size()));
    double mean = 0;
    for (double v : terms) mean += v;
    mean /= static_cast<double>(terms.size());
    double ss = 0;
    for (double v : terms) ss += (v - mean) * (v - mean);
    const double sd = std::sqrt(ss / static_cast<double>(terms.size() - 1));
    if (!std::isfinite(mean) || !std::isfinite(sd))
        throw Error("Файл " + file + ": среднее или СКО гарантийных сроков не конечны");

    out.Label15 = comment;
    out.MaskEdit1 = std::to_string(terms.size());
    out.meSred = formatFixed(mean, 3, 1, fmt);
    out.meSKO = formatFixed(sd, 3, 1, fmt);
    out.MaskEditSrednee = formatFixed(mean, 6, 3, fmt);
    out.MaskEditSKO = formatFixed(sd, 6, 3, fmt);

    state.MasTGarant = std::move(terms);
    state.Sred = mean;
    state.SKO = sd;
    state.Comment = std::move(comment);
    state.uk = true;
    return out;
}

} // namespace relan
