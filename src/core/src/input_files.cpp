#include "relan/input_files.hpp"

#include "relan/error.hpp"
#include "relan/histogram.hpp"
#include "relan/special.hpp"
#include "relan/text1251.hpp"
#include "relan/text_decoding.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>

namespace relan {
namespace {

constexpr const char* kDataErrorAtLine = "Ошибка в данных в строке ";

std::string lineError(const std::string& file, int line, const std::string& detail) {
    return std::string(kDataErrorAtLine) + std::to_string(line) + " файла " + file + ": " + detail;
}

// Sequential reader over an input file's text, with the two kinds of read
// the formats use: whole lines, and numbers that may be preceded by blank
// lines. What it returns is UTF-8 and stays valid until the next read;
// Windows-1251 text is decoded one line or number at a time.
class Reader {
  public:
    explicit Reader(const text::InputText& in)
        : data_(in.text()), eol_(in.lineEnd), cp1251_(in.encoding == text::Encoding::Cp1251) {}

    bool eof() const { return pos_ >= data_.size(); }
    int lineNo() const { return line_; }

    // One line without its CR LF / LF; empty at the end of the data.
    std::string_view readLine() { return decoded(nextLine(), lineText_); }

    struct Number {
        std::string_view text; // empty when the data ended before a number
        int line = 0;          // line of the number, from 1
    };

    // Skips codes 0..32 (line breaks included), takes the run up to the next
    // such code, then skips the rest of that line.
    Number readNumber() {
        while (pos_ < data_.size() && static_cast<unsigned char>(data_[pos_]) <= 32) {
            if (data_[pos_] == eol_) ++line_;
            ++pos_;
        }
        Number n;
        n.line = line_;
        std::size_t start = pos_;
        while (pos_ < data_.size() && static_cast<unsigned char>(data_[pos_]) > 32)
            ++pos_;
        n.text = decoded(data_.substr(start, pos_ - start), numberText_);
        if (pos_ < data_.size()) nextLine();
        return n;
    }

  private:
    std::string_view nextLine() {
        std::size_t start = pos_;
        std::size_t lf = data_.find(eol_, pos_);
        std::size_t end = lf == std::string_view::npos ? data_.size() : lf;
        pos_ = lf == std::string_view::npos ? data_.size() : lf + 1;
        std::string_view line = data_.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ++line_;
        return line;
    }

    std::string_view decoded(std::string_view raw, std::string& buffer) const {
        if (!cp1251_) return raw;
        buffer.clear();
        cp1251::appendUtf8(buffer, raw);
        return buffer;
    }

    std::string_view data_;
    char eol_;
    bool cp1251_;
    std::size_t pos_ = 0;
    int line_ = 1; // number of the line the reader is in
    std::string lineText_, numberText_;
};

constexpr std::size_t kRealRun = 64;
constexpr std::size_t kIntegerRun = 32;

// One number of the failure-data header: what it is, for the messages.
struct HeaderItem {
    int line;         // its line in a file without blank lines
    const char* what; // as the refusals name it
};
constexpr HeaderItem kHeaderSred{2, "среднее время окончания гарантии"};
constexpr HeaderItem kHeaderSKO{3, "СКО времени окончания гарантии"};
constexpr HeaderItem kHeaderFleet{4, "количество изделий в гарантийной эксплуатации"};
constexpr HeaderItem kHeaderAll{5, "количество всех отказов"};
constexpr HeaderItem kHeaderCauses{6, "число причин отказов"};

struct HeaderNumber {
    double value = 0;
    int line = 0;
    std::string text;
};

// The next header number; the end of the file instead is refused by name.
Reader::Number headerToken(Reader& r, const std::string& file, const HeaderItem& item) {
    const auto n = r.readNumber();
    if (n.text.empty())
        throw Error("Файл " + file + " обрывается в заголовке: нет строки " + std::to_string(item.line) +
                    " (" + item.what + ")");
    return n;
}

// The header numbers use the point; a comma is the likeliest slip.
HeaderNumber headerReal(Reader& r, const std::string& file, const HeaderItem& item) {
    const auto n = headerToken(r, file, item);
    auto v = n.text.size() > kRealRun ? std::nullopt : parseReal(n.text, '.');
    if (!v) throw Error(lineError(file, n.line, std::string(item.what) + ": " + notANumberText(n.text, '.')));
    return {*v, n.line, std::string(n.text)};
}

HeaderNumber headerInteger(Reader& r, const std::string& file, const HeaderItem& item) {
    const auto n = headerToken(r, file, item);
    auto v = n.text.size() > kIntegerRun ? std::nullopt : parseInt32(n.text);
    if (!v)
        throw Error(
            lineError(file, n.line,
                      std::string(item.what) + ": " + text::quoted(n.text) + " не является целым числом"));
    return {static_cast<double>(*v), n.line, std::string(n.text)};
}

void requirePositive(const HeaderNumber& n, const std::string& file, const HeaderItem& item,
                     const char* unit) {
    if (!(n.value > 0))
        throw Error(lineError(file, n.line,
                              std::string(item.what) + " должно быть больше 0" + unit + ", в файле " +
                                  text::quoted(n.text)));
}

// The time text of a failure line: both "." and "," are decimal separators.
std::optional<double> failureTime(std::string_view timeText) {
    std::string t(timeText);
    for (char& c : t)
        if (c == ',') c = '.';
    return parseReal(t, '.');
}

// A cause line that reads as a failure line means the header counts more
// causes than the file names.
bool looksLikeFailureLine(std::string_view line) {
    const std::size_t tab = line.find('\t');
    return tab != std::string_view::npos && failureTime(trimControl(line.substr(0, tab))).has_value();
}

// The text after the first "*". One space (or tab, or no-break space) after
// the mark separates it from what was repaired and is dropped; any other
// character already belongs to the text, which is kept whole.
std::string repairText(std::string_view source) {
    const std::size_t star = source.find('*');
    if (star == std::string_view::npos) return {};
    std::string_view rest = source.substr(star + 1);
    if (!rest.empty() && static_cast<unsigned char>(rest[0]) <= 32)
        rest.remove_prefix(1);
    else if (rest.substr(0, 2) == "\xC2\xA0")
        rest.remove_prefix(2);
    return std::string(rest);
}

struct Threshold {
    double Analysis::*var;
    double q;
    bool plainCount; // counted by failures documented rather than corrected sum
    const char* remark;
};

constexpr Threshold kThresholds[] = {
    {&Analysis::T90expl, 0.1, false, ", отказов 10% от парка"},
    {&Analysis::T80expl, 0.2, false, ", отказов 20% от парка"},
    {&Analysis::T50expl, 0.5, true, ", отказов 50% от наблюдаемого парка"},
    {&Analysis::t50zen, 0.5, false, ", отказов 50% от парка с учетом цензурирования"},
    {&Analysis::T20expl, 0.8, false, ", отказов 80% от парка"},
    {&Analysis::T10expl, 0.9, false, ", отказов 90% от парка"},
};

double frac(double x) {
    return x - std::trunc(x);
}

std::string withSeparator(const char* intPart, const char* fracPart, const NumberFormat& fmt) {
    return std::string(intPart) + fmt.decimal + fracPart;
}

// The text of an input file; an empty file is refused by name.
text::InputText inputFile(std::string_view bytes, const std::string& file) {
    text::InputText in = text::inputText(bytes, file);
    if (trimControl(in.text()).empty()) throw Error("Файл " + file + " пуст");
    return in;
}

// The comment line, cut to kMaxCommentBytes at a character boundary; the
// cut is told in the log.
std::string commentLine(std::string_view line, const std::string& file, Warnings& warnings) {
    if (line.size() <= kMaxCommentBytes) return std::string(line);
    std::size_t cut = kMaxCommentBytes;
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
        --cut;
    warnings.push_back(warning::CommentCut{file, line.size(), cut});
    return std::string(line.substr(0, cut));
}

} // namespace

void sort_MinMax(std::vector<Problems>& z) {
    // The exchange sort this replaces compares strictly and so keeps records
    // with equal times in their order; a stable sort yields the same order
    // without its quadratic cost on large files. The times are sorted with
    // their places, and each record then moved once: records carry a text
    // and are three times the size.
    std::vector<std::pair<double, std::size_t>> order(z.size());
    for (std::size_t i = 0; i < z.size(); ++i)
        order[i] = {z[i].time, i};
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    // Place i takes the record from order[i].second; each cycle of the
    // permutation is followed once, leaving the places it filled marked.
    for (std::size_t i = 0; i < z.size(); ++i) {
        if (order[i].second == i || order[i].second == z.size()) continue;
        Problems held = std::move(z[i]);
        std::size_t to = i;
        for (std::size_t from = order[to].second; from != i; from = order[to].second) {
            z[to] = std::move(z[from]);
            order[to].second = z.size();
            to = from;
        }
        z[to] = std::move(held);
        order[to].second = z.size();
    }
}

std::optional<std::string> generationsForFailureCount(int kolOtk) {
    if (kolOtk >= 0 && kolOtk <= 500) return "1500";
    if (kolOtk >= 501 && kolOtk <= 999) return "2000";
    if (kolOtk >= 1000 && kolOtk <= 99999) return "4000";
    return std::nullopt;
}

FailureLoad loadFailureData(const std::string& path, const NumberFormat& fmt, Analysis& state) {
    FailureLoad load = parseFailureData(readInputFile(path), path, fmt, state);
    rememberInputFile(InputFile::FailureData, path);
    return load;
}

FailureLoad parseFailureData(std::string_view bytes, const std::string& file, const NumberFormat& fmt,
                             Analysis& state) {
    const text::InputText text = inputFile(bytes, file);
    // Taken over only when the whole file has been read; the failures it
    // replaces are not copied.
    Analysis s = withoutFailures(state);
    FailureLoad out;
    Reader r(text);

    s.Otk_Izd = 0;
    // The genetic model was fitted to the data being replaced; unlike the
    // other models no calculation clears it, so it would be shown beside the
    // new data and refused by every later calculation.
    s.models[ModelId::Genetic].Executed = false;
    s.Comment = commentLine(r.readLine(), file, out.warnings);
    out.fields.comment = s.Comment;

    const HeaderNumber sred = headerReal(r, file, kHeaderSred);
    const HeaderNumber sko = headerReal(r, file, kHeaderSKO);
    const HeaderNumber fleet = headerInteger(r, file, kHeaderFleet);
    const HeaderNumber all = headerInteger(r, file, kHeaderAll);
    const HeaderNumber causes = headerInteger(r, file, kHeaderCauses);
    requirePositive(sred, file, kHeaderSred, " ч");
    requirePositive(sko, file, kHeaderSKO, " ч");
    requirePositive(fleet, file, kHeaderFleet, "");
    requirePositive(all, file, kHeaderAll, "");
    const int nPrich = static_cast<int>(causes.value);
    if (nPrich < 0 || nPrich > Mx_prich)
        throw Error(lineError(file, causes.line,
                              std::string(kHeaderCauses.what) + " должно быть от 0 до " +
                                  std::to_string(Mx_prich) + ", в файле " + text::quoted(causes.text)));
    s.Sred = sred.value;
    s.SKO = sko.value;
    s.Kol_Izd_All = static_cast<int>(fleet.value);
    s.KolOtk = static_cast<int>(all.value);

    out.fields.censoringMeanText = formatGeneral(s.Sred, fmt);
    out.fields.censoringSdText = formatGeneral(s.SKO, fmt);
    out.fields.fleetSizeText = std::to_string(s.Kol_Izd_All);
    out.fields.failureCountText = std::to_string(s.KolOtk);
    s.NPrich = nPrich;
    s.Vidy_otkazov[0].Nazv_Prich = "Не установл.";
    out.fields.countingPeriodText = out.fields.censoringMeanText;
    s.tGar = s.Sred;
    out.fields.spiralStepText = withSeparator("1", "00025", fmt);
    out.fields.newtonStepText = withSeparator("1", "00025", fmt);
    out.fields.smirnovStepText = withSeparator("1", "0005", fmt);
    out.fields.geneticPrecisionText = withSeparator("0", "0000002", fmt);

    const std::string causeCount =
        "в строке " + std::to_string(causes.line) + " указано число причин отказов " + std::to_string(nPrich);
    std::array<std::string, Mx_prich + 1> lowerNames{};
    for (int k = 1; k <= Mx_prich; ++k)
        s.B_otk[k] = Vid_otkaza{};
    for (int k = 1; k <= nPrich; ++k) {
        const int lineNo = r.lineNo();
        if (r.eof())
            throw Error(
                lineError(file, lineNo, causeCount + ", а названий причин в файле " + std::to_string(k - 1)));
        const std::string_view line = r.readLine();
        if (looksLikeFailureLine(line))
            throw Error(lineError(file, lineNo,
                                  causeCount + ", а здесь вместо названия причины строка отказа " +
                                      text::quoted(line) + ": названий причин в файле " +
                                      std::to_string(k - 1)));
        const std::string_view name = trimControl(line);
        s.B_otk[k].Nazv_Prich = std::string(name);
        lowerNames[k] = text::lowerUtf8(name);
    }
    out.fields.NPokoleny = generationsForFailureCount(s.KolOtk);

    // Per failure in file order: the causes its source names (bit k for
    // cause k of the file), to be ranked once all are counted, and its line.
    static_assert(Mx_prich < 32);
    std::vector<std::uint32_t> namedCauses;
    std::vector<int> lineOf;
    // The header's count of all failures bounds the lines to come, unless
    // the file is shorter than that many lines of three bytes.
    const auto expected = std::min<std::size_t>(static_cast<std::size_t>(s.KolOtk), text.text().size() / 3);
    s.MasProbl.reserve(expected);
    namedCauses.reserve(expected);
    lineOf.reserve(expected);
    using Search = std::boyer_moore_horspool_searcher<std::string::const_iterator>;
    std::vector<std::pair<int, Search>> searches; // the causes with a name
    for (int k = 1; k <= nPrich; ++k)
        if (!lowerNames[k].empty())
            searches.emplace_back(k, Search(lowerNames[k].begin(), lowerNames[k].end()));
    std::string lowerSource;
    while (!r.eof()) {
        const int lineNo = r.lineNo();
        std::string_view line = trimControl(r.readLine());
        if (line.empty() && r.eof()) break; // one empty line closing the file is not a failure
        Problems p;
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos) {
            std::string detail =
                "нет табуляции между наработкой и источником отказа в строке " + text::quoted(line);
            if (s.MasProbl.empty())
                detail += " (если это название причины отказа, то " + causeCount + " — меньше, чем в файле)";
            throw Error(lineError(file, lineNo, detail));
        }
        const std::string_view timeText = line.substr(0, tab);
        const auto t = failureTime(timeText);
        if (!t)
            throw Error(
                lineError(file, lineNo, "наработка " + text::quoted(timeText) + " не является числом"));
        if (!(*t > 0))
            throw Error(lineError(file, lineNo,
                                  "наработка должна быть больше 0 ч, в файле " + text::quoted(timeText)));
        if (*t > kMaxFailureTime)
            throw Error(lineError(file, lineNo,
                                  "наработка " + text::quoted(timeText) + " ч больше допустимой (" +
                                      formatGeneral(kMaxFailureTime, fmt) + " ч)"));
        p.time = *t;
        const std::string_view source = trimControl(line.substr(tab));
        p.komment = repairText(source);
        text::lowerUtf8(source, lowerSource);
        std::uint32_t named = 0;
        for (const auto& [k, search] : searches) {
            if (std::search(lowerSource.cbegin(), lowerSource.cend(), search) != lowerSource.cend()) {
                named |= 1u << k;
                s.B_otk[k].Dolya += 1;
            }
        }
        namedCauses.push_back(named);
        lineOf.push_back(lineNo);
        s.MasProbl.push_back(std::move(p));
    }
    if (static_cast<std::size_t>(s.KolOtk) < s.MasProbl.size())
        throw Error(lineError(file, all.line,
                              std::string(kHeaderAll.what) + " " + std::to_string(s.KolOtk) +
                                  " меньше числа строк отказов в файле (" +
                                  std::to_string(s.MasProbl.size()) + ")"));

    // Rank: by count, largest first, equal counts in file order. A source
    // naming several causes goes to the one ranked last.
    std::array<int, Mx_prich> order{};
    for (int i = 0; i < Mx_prich; ++i)
        order[i] = i + 1;
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return s.B_otk[a].Dolya > s.B_otk[b].Dolya; });
    std::array<int, Mx_prich + 1> rankOf{};
    for (int i = 0; i < Mx_prich; ++i) {
        s.Vidy_otkazov[i + 1] = s.B_otk[order[i]];
        rankOf[order[i]] = i + 1;
    }
    s.multiCauseFailures = 0;
    for (std::size_t i = 0; i < s.MasProbl.size(); ++i) {
        int chey = 0;
        for (int k = 1; k <= nPrich; ++k)
            if (namedCauses[i] & (1u << k)) chey = std::max(chey, rankOf[k]);
        s.MasProbl[i].chey = chey;
        if ((namedCauses[i] & (namedCauses[i] - 1)) != 0) ++s.multiCauseFailures;
    }
    namedCauses = {};

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
    lineOf = {};

    s.Kol_izw = static_cast<int>(s.MasProbl.size());
    sort_MinMax(s.MasProbl);
    s.Popravka_Unknow = static_cast<double>(s.Kol_izw) / s.KolOtk;
    s.Izd_Prived = s.Kol_Izd_All * s.Popravka_Unknow;

    for (const Threshold& th : kThresholds)
        s.*(th.var) = 0;
    double sum = 0;
    double tPrev = 0;
    for (int i = 0; i < s.Kol_izw; ++i) {
        const double t = s.MasProbl[i].time;
        sum += 1 / (1 - CDF_Gauss(s.Sred, s.SKO, t));
        if (t >= s.tGar && s.Otk_Izd == 0) s.Otk_Izd = sum / s.Izd_Prived;
        for (const Threshold& th : kThresholds) {
            const double x = th.plainCount ? static_cast<double>(i + 1) : sum;
            if (x / s.Izd_Prived >= th.q && s.*(th.var) == 0) {
                // Of several shares reached at one failure the list names the last.
                const auto row = static_cast<std::size_t>(i);
                if (out.remarks.empty() || out.remarks.back().row != row)
                    out.remarks.push_back({row, th.remark});
                out.remarks.back().text = th.remark;
                s.*(th.var) = t - (t - tPrev) * frac(x - th.q * s.Izd_Prived);
            }
        }
        tPrev = t;
    }
    if (!std::isfinite(sum))
        throw Error("Файл " + file + ": сумма отказов с учетом цензурирования не конечна");

    s.uk = true;
    state = std::move(s);
    return out;
}

GridRow failureListRow(const LoadedData& s, const ThresholdRemarks& remarks, std::size_t row,
                       const NumberFormat& fmt) {
    const Problems& p = s.MasProbl[row];
    GridRow out{std::to_string(row + 1), formatGeneral(p.time, fmt), s.Vidy_otkazov[p.chey].Nazv_Prich,
                p.komment};
    for (const ThresholdRemark& r : remarks)
        if (r.row == row) out[2] += r.text;
    return out;
}

WarrantyLoadFields loadWarrantyTerms(const std::string& path, const NumberFormat& fmt, Analysis& state) {
    auto fields = parseWarrantyTerms(readInputFile(path), path, fmt, state);
    rememberInputFile(InputFile::WarrantyTerms, path);
    std::error_code ec;
    auto abs = std::filesystem::absolute(path, ec);
    fields.path = ec ? path : abs.string();
    return fields;
}

WarrantyLoadFields parseWarrantyTerms(std::string_view bytes, const std::string& file,
                                      const NumberFormat& fmt, Analysis& state) {
    const text::InputText text = inputFile(bytes, file);
    Reader r(text);
    WarrantyLoadFields out;
    out.path = file;
    std::string comment = commentLine(r.readLine(), file, out.warnings);
    RealArray terms;
    while (!r.eof()) {
        const auto n = r.readNumber();
        // Blank space after the last value is the end of the list, not a
        // warranty term of 0 h.
        if (n.text.empty()) break;
        auto v = n.text.size() > kRealRun ? std::nullopt : parseReal(n.text, '.');
        if (!v) throw Error(lineError(file, n.line, "гарантийный срок " + notANumberText(n.text, '.')));
        if (*v < 0)
            throw Error(
                lineError(file, n.line,
                          "гарантийный срок не может быть отрицательным, в файле " + text::quoted(n.text)));
        terms.push_back(*v);
    }
    if (terms.size() < 2)
        throw Error("Файл " + file +
                    ": для среднего и СКО нужны хотя бы два значения гарантийного срока, в файле " +
                    std::to_string(terms.size()));
    double mean = 0;
    for (double v : terms)
        mean += v;
    mean /= static_cast<double>(terms.size());
    double ss = 0;
    for (double v : terms)
        ss += (v - mean) * (v - mean);
    const double sd = std::sqrt(ss / static_cast<double>(terms.size() - 1));
    if (!std::isfinite(mean) || !std::isfinite(sd))
        throw Error("Файл " + file + ": среднее или СКО гарантийных сроков не конечны");
    if (!(mean > 0)) throw Error("Файл " + file + ": все гарантийные сроки равны 0");
    if (!(sd > 0))
        throw Error("Файл " + file + ": все гарантийные сроки одинаковы (" + formatGeneral(mean, fmt) +
                    " ч), СКО равно 0 и закон окончания гарантии не определён");

    out.comment = comment;
    out.termCountText = std::to_string(terms.size());
    // The censoring fields are what every fit reads back: they carry the
    // law in full (a rounder value is the user's to type), the panel's two
    // fields show it to the hour's thousandth.
    out.censoringMeanText = formatGeneral(mean, fmt);
    out.censoringSdText = formatGeneral(sd, fmt);
    out.termMeanText = formatFixed(mean, 6, 3, fmt);
    out.termSdText = formatFixed(sd, 6, 3, fmt);

    state.MasTGarant = std::move(terms);
    state.Sred = mean;
    state.SKO = sd;
    state.Comment = std::move(comment);
    state.uk = true;
    return out;
}

} // namespace relan
