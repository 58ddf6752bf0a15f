#pragma once

#include "relan/numtext.hpp"

#include <QFont>
#include <QLocale>
#include <QString>

#include <string>

namespace relan::gui {

inline QString qs(const std::string& s) {
    return QString::fromStdString(s);
}
inline std::string ss(const QString& s) {
    return s.toStdString();
}

// The user's number format decides the decimal separator of every number the
// window shows or reads.
inline NumberFormat systemNumberFormat() {
    const QString dp = QLocale::system().decimalPoint();
    return NumberFormat{dp.size() == 1 && dp[0].unicode() < 128 ? static_cast<char>(dp[0].unicode()) : '.'};
}

// The comment line heading every window: a large heavy face.
QFont headingFont();

} // namespace relan::gui
