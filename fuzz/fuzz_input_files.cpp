// Feeds arbitrary bytes to both file loads. A load may refuse the input with
// relan::Error; anything else (a crash, a hang, another exception, or an
// accepted file that breaks the state's invariants) is a finding.

#include "relan/error.hpp"
#include "relan/input_files.hpp"
#include "relan/text_decoding.hpp"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

void checkFailureState(const relan::Analysis& s, const relan::FailureLoad& load) {
    check(s.Kol_izw == static_cast<int>(s.MasProbl.size()));
    for (std::size_t r = 0; r < load.remarks.size(); ++r) {
        check(load.remarks[r].row < s.MasProbl.size());
        if (r > 0) check(load.remarks[r - 1].row < load.remarks[r].row);
    }
    for (std::size_t i = 0; i < s.MasProbl.size(); ++i) {
        check(std::isfinite(s.MasProbl[i].time) && s.MasProbl[i].time > 0);
        check(s.MasProbl[i].chey >= 0 && s.MasProbl[i].chey <= s.NPrich);
        if (i > 0) check(s.MasProbl[i - 1].time <= s.MasProbl[i].time);
    }
    for (double v :
         {s.Izd_Prived, s.T90expl, s.T80expl, s.T50expl, s.t50zen, s.T20expl, s.T10expl, s.Otk_Izd})
        check(std::isfinite(v));
    check(s.KolOtk > 0 && s.Kol_Izd_All > 0 && s.SKO > 0 && s.Sred > 0);
    check(s.KolOtk >= s.Kol_izw);
    check(relan::text::isValidUtf8(s.Comment));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const relan::NumberFormat fmt{','};
    // Whatever the bytes, the decoded text and every text made from it for a
    // message are UTF-8, and a message shows no control character.
    try {
        const auto d = relan::text::decodeInput(bytes, "fuzz.rel");
        check(relan::text::isValidUtf8(d.utf8));
        check(relan::text::isValidUtf8(relan::text::lowerUtf8(d.utf8)));
    } catch (const relan::Error&) {
    }
    const std::string shown = relan::text::visible(bytes, 1u << 20);
    check(relan::text::isValidUtf8(shown));
    for (char c : shown)
        check(static_cast<unsigned char>(c) >= 32 && c != 127);
    try {
        relan::Analysis s;
        auto load = relan::parseFailureData(bytes, "fuzz.rel", fmt, s);
        checkFailureState(s, load);
    } catch (const relan::Error&) {
    }
    try {
        relan::Analysis s;
        relan::parseWarrantyTerms(bytes, "gar.txt", fmt, s);
        check(s.MasTGarant.size() >= 2 && std::isfinite(s.Sred) && std::isfinite(s.SKO));
    } catch (const relan::Error&) {
    }
    return 0;
}
