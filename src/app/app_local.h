// Helpers shared by the application core's own files.
#pragma once

#include <cstdint>

namespace gr {

// "%d"-style reading: leading white space, a sign, decimal digits; the rest
// of the text is not looked at. Values beyond 32 bits are clamped. False when
// no digits are there.
bool scan_int(const char* text, int32_t* out);

// "%f"-style reading of a decimal number; false when there is none, and for
// NaN, which no setting can hold.
bool scan_double(const char* text, double* out);

// atoi-style: the number at the start of the text, 0 when there is none.
int32_t scan_int_or_zero(const char* text);

// Case-insensitive "a sorts before b" on bytes converted to lower case.
bool less_lower(const char* a, const char* b);

}  // namespace gr
