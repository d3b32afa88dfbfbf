// Math in double precision with angles in degrees, and the integer helpers.
#pragma once

void StartMathModule();

double Sin(double degrees);
double Cos(double degrees);
double Tan(double degrees);
double ASin(double x);  // results in degrees
double ACos(double x);
double ATan(double x);
double ATan2(double y, double x);

double Sqr(double x);  // square root
double Sinh(double x);
double Cosh(double x);
double Tanh(double x);
double Exp(double x);
double Log(double x);
double Log10(double x);
double Floor(double x);
double Ceil(double x);

int Abs(int x);
int Sgn(int x);  // -1, 0 or 1
int Lesser(int a, int b);
int Greater(int a, int b);
// The C remainder: its sign follows the dividend. A zero divisor raises a
// runtime error instead of the processor's divide fault.
int Mod(int a, int b);

double Abs(double x);
double Sgn(double x);  // -1, 0 or 1 (0 for NaN)
double Lesser(double a, double b);
double Greater(double a, double b);
