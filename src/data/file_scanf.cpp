// Formatted reading from a DataFile, the way scanf reads from stdio: the
// conversions d i o u x X, the float family, s c [ n and %%, with assignment
// suppression, field widths and the size letters. It reads through the
// stream's single pushback character, so it needs no more look-ahead than
// that. One difference from stdio: a literal in the format that does not
// match the input makes the call return -1.
#include <cctype>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "data/data_local.h"

namespace gr {

namespace {

void unget(DataFile* f, int c) {
    if (c < 0) return;
    f->pushback = c;
    f->position--;
}

void skip_space(DataFile* f) {
    for (;;) {
        int c = file_getc(f);
        if (c < 0) return;
        if (!isspace(c)) {
            unget(f, c);
            return;
        }
    }
}

int digit_value(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

// A bounded text buffer for the characters of one number. Past its size the
// characters are still consumed; a number that long has saturated anyway.
struct NumberText {
    char s[256];
    int n = 0;
    void add(int c) {
        if (n < int(sizeof s) - 1) s[n++] = char(c);
        s[n] = 0;
    }
    NumberText() { s[0] = 0; }
};

enum class Size { none, hh, h, l, ll, L, j, z, t };

// Reads an integer; returns false when no digit was found.
// Resolves a base of 0 (as %i) from a "0x" or "0" prefix; a "0x" prefix is
// consumed but only its "0" is kept, which leaves the value unchanged.
bool scan_integer(DataFile* f, int width, int& base, NumberText& text, bool& ended) {
    int left = width;
    int c = file_getc(f);
    if (c < 0) {
        ended = true;
        return false;
    }
    if ((c == '+' || c == '-') && left > 0) {
        text.add(c);
        left--;
        c = left > 0 ? file_getc(f) : -1;
    }
    bool digits = false;
    if (left > 0 && c == '0' && (base == 0 || base == 16)) {
        text.add(c);
        digits = true;
        left--;
        c = left > 0 ? file_getc(f) : -1;
        if (left > 0 && (c == 'x' || c == 'X')) {
            base = 16;
            left--;
            c = left > 0 ? file_getc(f) : -1;
        } else if (base == 0) {
            base = 8;
        }
    }
    if (base == 0) base = 10;
    while (left > 0 && c >= 0 && digit_value(c) < base) {
        text.add(c);
        digits = true;
        left--;
        c = left > 0 ? file_getc(f) : -1;
    }
    if (left > 0 || c >= 0) unget(f, c);
    if (c < 0 && !digits) ended = true;
    return digits;
}

bool scan_float(DataFile* f, int width, NumberText& text, bool& ended) {
    int left = width;
    int c = file_getc(f);
    if (c < 0) {
        ended = true;
        return false;
    }
    auto next = [&]() {
        text.add(c);
        left--;
        c = left > 0 ? file_getc(f) : -1;
    };
    if (c == '+' || c == '-') next();
    bool digits = false;
    while (left > 0 && c >= '0' && c <= '9') { digits = true; next(); }
    if (left > 0 && c == '.') {
        next();
        while (left > 0 && c >= '0' && c <= '9') { digits = true; next(); }
    }
    if (digits && left > 0 && (c == 'e' || c == 'E')) {
        // With one character of look-ahead a bare "e" cannot be given back;
        // it is consumed and the mantissa stands alone.
        int mark = text.n;
        next();
        if (left > 0 && (c == '+' || c == '-')) next();
        bool exp_digits = false;
        while (left > 0 && c >= '0' && c <= '9') { exp_digits = true; next(); }
        if (!exp_digits) {
            text.n = mark;
            text.s[mark] = 0;
        }
    }
    if (c >= 0) unget(f, c);
    if (c < 0 && !digits) ended = true;
    return digits;
}

void store_signed(va_list& ap, long long v, Size size) {
    switch (size) {
    case Size::hh: *va_arg(ap, signed char*) = (signed char)v; break;
    case Size::h: *va_arg(ap, short*) = short(v); break;
    case Size::l: *va_arg(ap, long*) = long(v); break;
    case Size::ll: case Size::L: *va_arg(ap, long long*) = v; break;
    case Size::j: *va_arg(ap, intmax_t*) = v; break;
    case Size::z: *va_arg(ap, ptrdiff_t*) = ptrdiff_t(v); break;
    case Size::t: *va_arg(ap, ptrdiff_t*) = ptrdiff_t(v); break;
    default: *va_arg(ap, int*) = int(v); break;
    }
}

void store_unsigned(va_list& ap, unsigned long long v, Size size) {
    switch (size) {
    case Size::hh: *va_arg(ap, unsigned char*) = (unsigned char)v; break;
    case Size::h: *va_arg(ap, unsigned short*) = (unsigned short)v; break;
    case Size::l: *va_arg(ap, unsigned long*) = (unsigned long)v; break;
    case Size::ll: case Size::L: *va_arg(ap, unsigned long long*) = v; break;
    case Size::j: *va_arg(ap, uintmax_t*) = v; break;
    case Size::z: *va_arg(ap, size_t*) = size_t(v); break;
    case Size::t: *va_arg(ap, size_t*) = size_t(v); break;
    default: *va_arg(ap, unsigned*) = unsigned(v); break;
    }
}

// Parses a scan set after "[" and returns the pointer past its "]".
const char* parse_set(const char* p, bool set[256]) {
    bool negate = false;
    if (*p == '^') {
        negate = true;
        p++;
    }
    bool in[256] = {};
    if (*p == ']') {
        in[(unsigned char)']'] = true;
        p++;
    }
    while (*p && *p != ']') {
        unsigned char a = (unsigned char)*p;
        if (p[1] == '-' && p[2] && p[2] != ']' && (unsigned char)p[2] >= a) {
            for (unsigned x = a; x <= (unsigned char)p[2]; x++) in[x] = true;
            p += 3;
        } else {
            in[a] = true;
            p++;
        }
    }
    for (int i = 0; i < 256; i++) set[i] = negate ? !in[i] : in[i];
    return *p == ']' ? p + 1 : p;
}

}  // namespace

int file_vscanf(DataFile* f, const char* format, va_list ap_in) {
    va_list ap;
    va_copy(ap, ap_in);
    int assigned = 0;
    const int32_t start = f->position;
    auto input_end = [&]() { return assigned ? assigned : -1; };

    for (const char* p = format; *p; p++) {
        unsigned char fc = (unsigned char)*p;
        if (isspace(fc)) {
            skip_space(f);
            continue;
        }
        if (fc != '%' || p[1] == '%') {
            if (fc == '%') {
                p++;
                skip_space(f);
            }
            int c = file_getc(f);
            if (c < 0) {
                va_end(ap);
                return input_end();
            }
            if (c != (unsigned char)*p) {
                unget(f, c);
                va_end(ap);
                return -1;
            }
            continue;
        }

        p++;
        bool suppress = false;
        if (*p == '*') {
            suppress = true;
            p++;
        }
        int width = 0;
        bool has_width = false;
        while (*p >= '0' && *p <= '9') {
            if (width < 100000000) width = width * 10 + (*p - '0');
            has_width = true;
            p++;
        }
        if (!has_width || width == 0) width = INT_MAX;
        Size size = Size::none;
        switch (*p) {
        case 'h': size = p[1] == 'h' ? (p++, Size::hh) : Size::h; p++; break;
        case 'l': size = p[1] == 'l' ? (p++, Size::ll) : Size::l; p++; break;
        case 'L': case 'q': size = Size::L; p++; break;
        case 'j': size = Size::j; p++; break;
        case 'z': size = Size::z; p++; break;
        case 't': size = Size::t; p++; break;
        default: break;
        }
        char conv = *p;
        if (!conv) break;

        if (conv == 'n') {
            if (!suppress) store_signed(ap, f->position - start, size);
            continue;
        }
        if (conv != 'c' && conv != '[') skip_space(f);

        bool ended = false;
        switch (conv) {
        case 'd': case 'i': case 'u': case 'o': case 'x': case 'X': {
            int base = conv == 'd' || conv == 'u' ? 10 : conv == 'i' ? 0 : conv == 'o' ? 8 : 16;
            NumberText text;
            if (!scan_integer(f, width, base, text, ended)) {
                va_end(ap);
                return ended ? input_end() : assigned;
            }
            if (!suppress) {
                if (conv == 'd' || conv == 'i') {
                    long long v = strtoll(text.s, nullptr, base);
                    store_signed(ap, v, size);
                } else {
                    unsigned long long v = strtoull(text.s, nullptr, base);
                    store_unsigned(ap, v, size);
                }
                assigned++;
            }
            break;
        }
        case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': case 'a': case 'A': {
            NumberText text;
            if (!scan_float(f, width, text, ended)) {
                va_end(ap);
                return ended ? input_end() : assigned;
            }
            if (!suppress) {
                if (size == Size::l) *va_arg(ap, double*) = strtod(text.s, nullptr);
                else if (size == Size::L) *va_arg(ap, long double*) = strtold(text.s, nullptr);
                else *va_arg(ap, float*) = strtof(text.s, nullptr);
                assigned++;
            }
            break;
        }
        case 's': case '[': {
            bool set[256];
            if (conv == '[') {
                p = parse_set(p + 1, set) - 1;
            } else {
                for (int i = 0; i < 256; i++) set[i] = !isspace(i);
            }
            char* out = suppress ? nullptr : va_arg(ap, char*);
            int n = 0;
            int c = file_getc(f);
            if (c < 0) {
                va_end(ap);
                return input_end();
            }
            while (c >= 0 && set[c] && n < width) {
                if (out) out[n] = char(c);
                n++;
                if (n < width) c = file_getc(f);
                else c = -2;  // width reached: nothing more read
            }
            if (c >= 0) unget(f, c);
            if (n == 0) {
                va_end(ap);
                return assigned;
            }
            if (out) {
                out[n] = 0;
                assigned++;
            }
            break;
        }
        case 'c': {
            int count = width == INT_MAX ? 1 : width;
            char* out = suppress ? nullptr : va_arg(ap, char*);
            int n = 0;
            while (n < count) {
                int c = file_getc(f);
                if (c < 0) break;
                if (out) out[n] = char(c);
                n++;
            }
            if (n < count) {
                va_end(ap);
                return input_end();
            }
            if (out) assigned++;
            break;
        }
        default:
            va_end(ap);
            return assigned;
        }
    }
    va_end(ap);
    return assigned;
}

int file_scanf(DataFile* f, const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    int r = file_vscanf(f, format, ap);
    va_end(ap);
    return r;
}

}  // namespace gr
