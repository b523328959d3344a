#include "Zones.h"

#include "GlyphwickMrz.h"

// GCC 12 warns falsely of overlapping copies in chains of string additions.
#pragma GCC diagnostic ignored "-Wrestrict"

namespace mrzpages {

namespace {

using gw::render::Random;

char Pick(Random& rng, const char* set) {
    const std::string s(set);
    return s[size_t(rng.Uniform() * double(s.size()))];
}

std::string Letters(Random& rng, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += Pick(rng, "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    return s;
}

std::string Alnum(Random& rng, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += Pick(rng, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
    return s;
}

std::string Digits(Random& rng, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += Pick(rng, "0123456789");
    return s;
}

std::string Date(Random& rng) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%02d%02d%02d", int(rng.Uniform() * 100),
                  1 + int(rng.Uniform() * 12), 1 + int(rng.Uniform() * 28));
    return buf;
}

std::string Pad(std::string s, size_t n) {
    s.resize(n, '<');
    return s;
}

char Check(const std::string& s) {
    return char('0' + gw::MrzCheckDigit(s));
}

// Names of one to three parts each, cut to the room there is.
std::string Names(Random& rng, size_t room) {
    std::string s = Letters(rng, 3 + size_t(rng.Uniform() * 9));
    if (rng.Uniform() < 0.3) s += "<" + Letters(rng, 3 + size_t(rng.Uniform() * 6));
    s += "<<" + Letters(rng, 3 + size_t(rng.Uniform() * 7));
    if (rng.Uniform() < 0.5) s += "<" + Letters(rng, 3 + size_t(rng.Uniform() * 6));
    return Pad(s.substr(0, room), room);
}

std::string Number(Random& rng) {
    std::string n = rng.Uniform() < 0.5 ? Letters(rng, 2) + Digits(rng, 7) : Alnum(rng, 9);
    if (rng.Uniform() < 0.2) n = Pad(n.substr(0, 8), 9);
    return n;
}

// A document number of runs of characters that look alike in OCR-B (0 and O,
// 1 and I, 8 and B, 5 and S, 2 and Z, 6 and G), mixed within each run.
std::string LookAlikeNumber(Random& rng) {
    static const char* pairs[] = {"0O", "1I", "8B", "5S", "2Z", "6G"};
    std::string n;
    while (n.size() < 9) {
        const char* pair = pairs[size_t(rng.Uniform() * 6)];
        const size_t run = 2 + size_t(rng.Uniform() * 3);
        for (size_t k = 0; k < run && n.size() < 9; ++k) n += pair[rng.Uniform() < 0.5 ? 0 : 1];
        if (rng.Uniform() < 0.3 && n.size() < 9) n += Pick(rng, "ACDEHKLMNPRTUVWXY3479");
    }
    return n;
}

}  // namespace

std::string RandomText(Random& rng, size_t length) {
    std::string s;
    for (size_t i = 0; i < length; ++i)
        s += rng.Uniform() < 0.15 ? ' ' : Pick(rng, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789./-");
    return s;
}

Zone RandomZone(Random& rng, Random* lookAlikes) {
    const double f = rng.Uniform();
    const char* states[] = {"UTO", "D<<", "GBR", "FRA", "NLD", "ESP", "CAN", "AUS"};
    const std::string state = states[size_t(rng.Uniform() * 8)];
    const std::string nat = states[size_t(rng.Uniform() * 8)];
    std::string number = Number(rng);
    if (lookAlikes) number = LookAlikeNumber(*lookAlikes);
    const std::string birth = Date(rng), expiry = Date(rng);
    const char sex = Pick(rng, "MFX<");
    Zone z;
    if (f < 0.35) {
        z.format = "TD1";
        const std::string code = rng.Uniform() < 0.5 ? "ID" : "I<";
        const std::string opt1 = Pad(rng.Uniform() < 0.5 ? "" : Alnum(rng, 6), 15);
        const std::string opt2 = Pad(rng.Uniform() < 0.5 ? "" : Alnum(rng, 5), 11);
        std::string l1 = code + state + number + Check(number) + opt1;
        std::string l2 = birth + Check(birth) + sex + expiry + Check(expiry) + nat + opt2;
        const std::string comp =
            l1.substr(5, 25) + l2.substr(0, 7) + l2.substr(8, 7) + l2.substr(18, 11);
        l2 += Check(comp);
        z.lines = {l1, l2, Names(rng, 30)};
        return z;
    }
    const bool visa = f > 0.85;
    const bool td2 = (f >= 0.35 && f < 0.55) || (visa && f > 0.93);
    const size_t n = td2 ? 36 : 44;
    std::string code = visa ? "V<" : (td2 ? "I<" : "P<");
    z.format = visa ? (td2 ? "MRV-B" : "MRV-A") : (td2 ? "TD2" : "TD3");
    std::string l1 = code + state + Names(rng, n - 5);
    std::string l2 =
        number + Check(number) + nat + birth + Check(birth) + sex + expiry + Check(expiry);
    if (visa) {
        l2 += Pad(rng.Uniform() < 0.5 ? "" : Alnum(rng, 6), n - 28);
    } else if (td2) {
        l2 += Pad(rng.Uniform() < 0.5 ? "" : Alnum(rng, 4), 7);
        l2 += Check(l2.substr(0, 10) + l2.substr(13, 7) + l2.substr(21, 14));
    } else {
        const std::string personal = Pad(rng.Uniform() < 0.5 ? "" : Alnum(rng, 9), 14);
        l2 += personal + Check(personal);
        l2 += Check(l2.substr(0, 10) + l2.substr(13, 7) + l2.substr(21, 22));
    }
    z.lines = {l1, l2};
    return z;
}

}  // namespace mrzpages
