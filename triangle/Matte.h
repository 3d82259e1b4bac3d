// Trigonometry helpers of the triangle window; angles in degrees.
#pragma once

#include <stdexcept>

namespace matte {

inline constexpr double GraderPerRadian = 57.29577951308232;

// C++ does not trap floating-point faults, so the steps that would fault raise this themselves;
// the message is the one the user sees.
class ArithmeticError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kDivisionByZero = "Floating point division by zero";
inline constexpr const char* kInvalidOperation = "Invalid floating point operation";

double SinGrader(double v);
// Angle opposite side m in a right triangle with hypotenuse h; -1 when the arcsine cannot be taken.
double VinkelFraSider(double h, double m);
// The third side from the hypotenuse and a leg (in either order). Throws ArithmeticError for a
// negative square-root argument.
double KatetFraSider(double p, double q);
double HypotenusFraKateter(double p, double q);
// dividend / divisor; throws ArithmeticError when divisor is 0.
double divide(double dividend, double divisor);

} // namespace matte
