#include "runtime/math.h"

#include <cmath>

#include "runtime/exception.h"
#include "runtime/startup.h"

namespace {
constexpr double kDegreesToRadians = 0.017453292519943295;
constexpr double kRadiansToDegrees = 57.29577951308232;
}  // namespace

// Pure functions: there is nothing to set up.
void StartMathModule() { KV_START_ONCE(); }

double Sin(double degrees) { return std::sin(degrees * kDegreesToRadians); }
double Cos(double degrees) { return std::cos(degrees * kDegreesToRadians); }
double Tan(double degrees) { return std::tan(degrees * kDegreesToRadians); }
double ASin(double x) { return std::asin(x) * kRadiansToDegrees; }
double ACos(double x) { return std::acos(x) * kRadiansToDegrees; }
double ATan(double x) { return std::atan(x) * kRadiansToDegrees; }
double ATan2(double y, double x) { return std::atan2(y, x) * kRadiansToDegrees; }

double Sqr(double x) { return std::sqrt(x); }
double Sinh(double x) { return std::sinh(x); }
double Cosh(double x) { return std::cosh(x); }
double Tanh(double x) { return std::tanh(x); }
double Exp(double x) { return std::exp(x); }
double Log(double x) { return std::log(x); }
double Log10(double x) { return std::log10(x); }
double Floor(double x) { return std::floor(x); }
double Ceil(double x) { return std::ceil(x); }

// Wraps like the processor's negation: Abs(INT_MIN) stays INT_MIN.
int Abs(int x) { return x < 0 ? static_cast<int>(0u - static_cast<unsigned>(x)) : x; }
int Sgn(int x) { return x > 0 ? 1 : x < 0 ? -1 : 0; }
int Lesser(int a, int b) { return a < b ? a : b; }
int Greater(int a, int b) { return a > b ? a : b; }

// The x86 divide instruction faults for a zero divisor and for INT_MIN / -1;
// the remainder of the latter is 0.
int Mod(int a, int b) {
    if (b == 0) RuntimeError("Integer division by zero");
    if (b == -1) return 0;
    return a % b;
}

double Abs(double x) { return std::fabs(x); }
double Sgn(double x) { return x > 0 ? 1.0 : x < 0 ? -1.0 : 0.0; }
double Lesser(double a, double b) { return a < b ? a : b; }
double Greater(double a, double b) { return a > b ? a : b; }
