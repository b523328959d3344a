#include "barcode/Code39Text.h"

#include <cstdint>

#include "barcode/Tables.h"

namespace gw::barcodes {

bool Code39CheckHolds(std::string_view chars) {
    if (chars.size() < 2) return false;
    int sum = 0;
    for (size_t i = 0; i + 1 < chars.size(); ++i) {
        const size_t v = kCode39Alphabet.find(chars[i]);
        if (v == std::string_view::npos || v >= 43) return false;
        sum += int(v);
    }
    const size_t check = kCode39Alphabet.find(chars.back());
    return check < 43 && size_t(sum % 43) == check;
}

bool Code39FullAscii(std::string_view chars, std::string& out) {
    out.clear();
    for (size_t i = 0; i < chars.size(); ++i) {
        const char c = chars[i];
        if (c != '$' && c != '%' && c != '/' && c != '+') {
            out.push_back(c);
            continue;
        }
        if (i + 1 >= chars.size()) return false;
        const char n = chars[++i];
        if (n < 'A' || n > 'Z') return false;
        int v = -1;
        switch (c) {
            case '$':
                v = n - 'A' + 1;
                break;  // SOH to SUB
            case '+':
                v = n - 'A' + 'a';
                break;  // a to z
            case '/':
                if (n <= 'O')
                    v = n - 'A' + '!';  // ! to /
                else if (n == 'Z')
                    v = ':';
                break;
            case '%':
                if (n <= 'E')
                    v = n - 'A' + 27;  // ESC to US
                else if (n <= 'J')
                    v = n - 'F' + ';';  // ; to ?
                else if (n <= 'O')
                    v = n - 'K' + '[';  // [ to _
                else if (n <= 'T')
                    v = n - 'P' + '{';  // { to DEL
                else if (n == 'U')
                    v = 0;
                else if (n == 'V')
                    v = '@';
                else if (n == 'W')
                    v = '`';
                else
                    v = 127;  // X to Z
                break;
        }
        if (v < 0) return false;
        out.push_back(char(v));
    }
    return true;
}

bool Code32(std::string_view chars, std::string& out) {
    static constexpr std::string_view kDigits = "0123456789BCDFGHJKLMNPQRSTUVWXYZ";
    static_assert(kDigits.size() == 32);
    if (chars.size() != 6) return false;
    uint64_t value = 0;
    for (char c : chars) {
        const size_t d = kDigits.find(c);
        if (d == std::string_view::npos) return false;
        value = value * 32 + d;
    }
    if (value >= 1000000000) return false;
    std::string digits = std::to_string(value);
    digits.insert(0, 9 - digits.size(), '0');
    int sum = 0;
    for (size_t i = 0; i < 8; ++i) {
        const int d = digits[i] - '0';
        sum += i % 2 == 0 ? d : (2 * d) / 10 + (2 * d) % 10;
    }
    if (sum % 10 != digits[8] - '0') return false;
    out = "A" + digits;
    return true;
}

}  // namespace gw::barcodes
