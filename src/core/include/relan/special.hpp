#pragma once

// Error function, normal law of warranty end times and the Weibull-type
// failure law F(t) = 1 - exp(-A t^B). The polynomials and the order of the
// branch tests are fixed: results of the fits must be reproducible digit for
// digit, so these are deliberately not replaced by std::erf.

namespace relan {

double ErfC(double X);
double Erf(double X);
double NormalDistribution(double X);
// Phi((X - Sred) / SKO). SKO = 0 would divide by zero: raises relan::Error.
double CDF_Gauss(double Sred, double SKO, double X);
// F(X), floored at 1e-305 so that it is never zero.
double weibCDF(double A, double B, double X);
// F(X2) - F(X1), never negative; X1 > X2 raises relan::Error ("ObrOtk").
double weibCDF2(double A, double B, double X1, double X2);
// t with F(t) = P; 1e10 ("never") for P >= 1.
double weibinv(double A, double B, double P);

} // namespace relan
