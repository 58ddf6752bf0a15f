#include "relan/progress.hpp"

namespace relan {

const char* Cancelled::what() const noexcept {
    return "Расчет остановлен пользователем";
}

std::string progressText(const ProgressReport& r) {
    std::string t = std::string(r.stage) + ": " + std::string(r.unit) + " " + std::to_string(r.done);
    if (r.total > 0) t += " из " + std::to_string(r.total);
    return t;
}

} // namespace relan
