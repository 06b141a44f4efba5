// How a rate in MB/s is written wherever it is shown or sent as text.
#pragma once

#include <string>

// Fixed-point with precision 4 and 2 decimals: rounded to 4 significant digits and at most
// 2 decimals, written with exactly 2 decimals and the locale's decimal separator
// (1234.56 -> "1235.00"); 10,000 and above in exponent form (12345.6 -> "1.235E04").
std::string Result_Text(double value);

// A number written in the user's locale (a rate, a size such as "271 GB"), made fit for the
// results server, whose texts are ASCII: every decimal digit becomes its ASCII digit, a
// decimal separator that is not ASCII (the Arabic one) becomes a point and the locale's
// direction marks go; an ASCII separator (a comma) stays. Any other text passes unchanged.
std::string Ascii_Digits(const std::string& text);
