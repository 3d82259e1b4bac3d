#include "Matte.h"

#include <cmath>

namespace matte {

namespace {

// A NaN argument (infinity minus infinity) is as invalid as a negative one.
double checkedSqrt(double argument) {
    if (!(argument >= 0))
        throw ArithmeticError(kInvalidOperation);
    return std::sqrt(argument);
}

} // namespace

double SinGrader(double v) {
    return std::sin(v / GraderPerRadian);
}

double VinkelFraSider(double h, double m) {
    if (h == 0)
        return -1;
    const double r = m / h;
    const double rest = 1 - r * r;
    if (!(rest >= 0))
        return -1;
    return std::atan2(r, std::sqrt(rest)) * GraderPerRadian;
}

double KatetFraSider(double p, double q) {
    // Signed comparison on purpose: a negative hypotenuse leads to a negative argument.
    if (p > q)
        return checkedSqrt(p * p - q * q);
    return checkedSqrt(q * q - p * p);
}

double HypotenusFraKateter(double p, double q) {
    return std::sqrt(p * p + q * q);
}

double divide(double dividend, double divisor) {
    if (divisor == 0)
        throw ArithmeticError(kDivisionByZero);
    return dividend / divisor;
}

} // namespace matte
