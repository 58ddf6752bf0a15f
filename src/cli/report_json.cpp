#include "report_json.hpp"

namespace relan::cli {

nlohmann::ordered_json inputJson(const AnalysisState& s) {
    nlohmann::ordered_json causes = nlohmann::ordered_json::array();
    for (int k = 1; k <= s.NPrich; ++k)
        causes.push_back({{"Nazv_Prich", s.Vidy_otkazov[k].Nazv_Prich}, {"Dolya", s.Vidy_otkazov[k].Dolya}});
    return {
        {"Comment", s.Comment},
        {"Sred", s.Sred},
        {"SKO", s.SKO},
        {"tGar", s.tGar},
        {"Kol_Izd_All", s.Kol_Izd_All},
        {"KolOtk", s.KolOtk},
        {"Kol_izw", s.Kol_izw},
        {"Izd_Prived", s.Izd_Prived},
        {"Popravka_Unknow", s.Popravka_Unknow},
        {"causes", causes},
        {"T90expl", s.T90expl},
        {"T80expl", s.T80expl},
        {"T50expl", s.T50expl},
        {"t50zen", s.t50zen},
        {"T20expl", s.T20expl},
        {"T10expl", s.T10expl},
        {"Otk_Izd", s.Otk_Izd},
    };
}

nlohmann::ordered_json gridJson(const std::vector<GridRow>& grid) {
    nlohmann::ordered_json rows = nlohmann::ordered_json::array();
    for (const auto& r : grid) rows.push_back(nlohmann::ordered_json::array({r[0], r[1], r[2], r[3]}));
    return rows;
}

} // namespace relan::cli
