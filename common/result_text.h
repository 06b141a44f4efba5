// How a rate in MB/s is written wherever it is shown or sent as text.
#pragma once

#include <string>

// Fixed-point with precision 4 and 2 decimals: rounded to 4 significant digits and at most
// 2 decimals, written with exactly 2 decimals and the locale's decimal separator
// (1234.56 -> "1235.00"); 10,000 and above in exponent form (12345.6 -> "1.235E04").
std::string Result_Text(double value);
