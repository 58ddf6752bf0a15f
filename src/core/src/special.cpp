#include "relan/special.hpp"

#include "relan/error.hpp"

#include <cmath>

namespace relan {

double ErfC(double X) {
    if (X < 0) return 2 - ErfC(-X);
    if (X < 0.5) return 1 - Erf(X);
    if (X >= 10) return 0;
    const double p =
        ((((((0.56418778255 * X + 9.675807882987) * X + 77.08161730368) * X + 368.519615471) * X +
           1143.262070703) *
              X +
          2320.439590251) *
             X +
         2898.029329216) *
            X +
        1826.334884229;
    const double q =
        (((((((X + 17.14980943627) * X + 137.12559605) * X + 661.7361207107) * X + 2094.384367789) * X +
           4429.612803883) *
              X +
          6089.542423272) *
             X +
         4958.827564721) *
            X +
        1826.334884229;
    return std::exp(-X * X) * p / q;
}

double Erf(double X) {
    const double s = X > 0 ? 1.0 : (X < 0 ? -1.0 : 0.0);
    const double x = std::fabs(X);
    if (x < 0.5) {
        const double z = x * x;
        const double p = (((((0.007547728033418632 * z + 0.2888051372075941) * z + 14.33838421917482) * z +
                            38.0140318123903) *
                               z +
                           3017.827885365076) *
                              z +
                          7404.071427101515) *
                             z +
                         80437.36309608402;
        const double q = ((((z + 38.01907139519394) * z + 658.0701554592405) * z + 6379.600173244283) * z +
                          34216.52579246285) *
                             z +
                         80437.36309608402;
        return s * 1.1283791670955126 * x * p / q;
    }
    if (x > 10) return s;
    return s * (1 - ErfC(x));
}

double NormalDistribution(double X) {
    return (Erf(X / 1.4142135623730951) + 1) * 0.5;
}

double CDF_Gauss(double Sred, double SKO, double X) {
    // A zero deviation is a division by zero; a NaN anywhere would silently
    // become a share of 0 or 1 through the sign test of Erf. Both are refused.
    if (SKO == 0 || std::isnan(Sred) || std::isnan(SKO) || std::isnan(X))
        throw Error("Деление на ноль: СКО времени гарантии равно 0 или не число");
    return NormalDistribution((X - Sred) / SKO);
}

double weibCDF(double A, double B, double X) {
    double w = 0;
    if (A > 0 && B > 0) w = 1 - std::exp(-A * std::pow(X, B));
    return w > 0 ? w : 1e-305;
}

double weibCDF2(double A, double B, double X1, double X2) {
    if (X1 > X2) throw Error("Параметры должны быть x2>x1", "ObrOtk");
    if (A <= 0 || B <= 0) return 0;
    double d = weibCDF(A, B, X2) - weibCDF(A, B, X1);
    if (d < 0) d = 1e-305;
    return d;
}

double weibinv(double A, double B, double P) {
    if (P < 1) return std::pow((1 / A) * std::log(1 / (1 - P)), 1 / B);
    return 1e10;
}

} // namespace relan
