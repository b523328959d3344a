// What a host acts on, worked out once from a zone reading: every check digit
// with the digit its data give, the score, the reasons in words, the dates
// with their century, the names and the optional data. It reads only the
// result's fields and characters, so the reader may change freely beneath it.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <tuple>

#include "GlyphwickMrz.h"
#include "mrz/CountryCodes.h"
#include "mrz/MrzGrammar.h"
#include "mrz/MrzLimits.h"

namespace gw {

namespace {

// Unsure characters listed by name before the rest are only counted.
constexpr int kMaxUnsureListed = 6;
// A rival candidate scoring within this of the character read makes the
// character unsure (the reader's own margin of doubt, DecodeLimits::ambiguity).
constexpr float kUnsureGap = 0.02f;
// An expiry date lies within this many years of today (documents are valid
// for at most ten years; an expired one may still be read decades later).
constexpr int kExpiryWindowYears = 50;

struct Date {
    int year = 0, month = 0, day = 0;
    bool operator<(const Date& o) const {
        return std::tie(year, month, day) < std::tie(o.year, o.month, o.day);
    }
};

Date Today(const std::string& text) {
    Date d;
    if (!text.empty() && std::sscanf(text.c_str(), "%d-%d-%d", &d.year, &d.month, &d.day) == 3)
        return d;
    const auto days = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
    const std::chrono::year_month_day ymd{days};
    return {int(ymd.year()), int(unsigned(ymd.month())), int(unsigned(ymd.day()))};
}

bool IsDay(const Date& d) {
    if (d.month < 1 || d.month > 12 || d.day < 1) return false;
    const std::chrono::year_month_day ymd{std::chrono::year(d.year),
                                          std::chrono::month(unsigned(d.month)),
                                          std::chrono::day(unsigned(d.day))};
    return ymd.ok();
}

std::string Iso(const Date& d) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
    return buf;
}

// YYMMDD of six digits, or false.
bool SixDigits(const std::string& raw, Date& d) {
    if (raw.size() != 6 || !std::all_of(raw.begin(), raw.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c));
        }))
        return false;
    d.year = std::stoi(raw.substr(0, 2));
    d.month = std::stoi(raw.substr(2, 2));
    d.day = std::stoi(raw.substr(4, 2));
    return true;
}

// Runs of blanks as one blank, none at either end.
std::string Squeezed(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
        out += c;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

bool HasDigit(const std::string& s) {
    return std::any_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool HasLetter(const std::string& s) {
    return std::any_of(s.begin(), s.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

bool IsLetterField(const std::string& name) {
    return name == "document_code" || name == "issuing_state" || name == "nationality" ||
           name == "name" || name == "surname" || name == "given_names";
}

bool IsDigitField(const std::string& name) {
    return name == "birth_date" || name == "expiry_date";
}

// Why a field is outside its class, in words.
std::string ClassReason(const MrzField& f) {
    if (IsLetterField(f.name) && HasDigit(f.raw)) return f.name + " holds digits";
    if (IsDigitField(f.name) && HasLetter(f.raw)) return f.name + " holds letters";
    return f.name + " holds a character its place does not take";
}

// The decimals a probability is shown with: two, or four or six from 0.99,
// where the thresholds stand (a threshold of 0.9995 holds back a character
// at 0.9993, which two decimals would show as 1.00).
int Decimals(float score) {
    return score >= 1 || score < 0.99f ? 2 : score < 0.99995f ? 4 : 6;
}

// The character read and its probability, cut down to its decimals, not
// rounded, so that one held back under a threshold never shows as reaching
// it (0.9877 under 0.99 as 0.98).
std::string ReadShown(char c, float score) {
    const int decimals = Decimals(score);
    double shown = score;
    if (score < 1) {
        // Up by two of a float's steps near 1 first: 0.9985f stands a little
        // under 0.9985, and is shown as it was meant.
        const double scale = std::pow(10.0, decimals);
        shown = std::floor((double(score) + 2e-7) * scale) / scale;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "'%c' %.*f", c, decimals, shown);
    return buf;
}

// A rival to the character read and its probability, rounded to its
// decimals; under 0.01 with a figure that tells it from none at all (0.003),
// and under 0.001 as such.
std::string RivalShown(char c, float score) {
    char buf[32];
    if (score < 0.001f)
        std::snprintf(buf, sizeof buf, "'%c' <0.001", c);
    else
        std::snprintf(buf, sizeof buf, "'%c' %.*f", c, score < 0.01f ? 3 : Decimals(score),
                      double(score));
    return buf;
}

// The best candidate of a character other than the one read, if any.
const std::pair<char, float>* RivalOf(const MrzCharacter& ch) {
    for (const auto& cand : ch.candidates)
        if (cand.first != ch.value) return &cand;
    return nullptr;
}

// The doubtful characters as reasons: those read with less than the least
// confidence (more where no check digit covers them) if any, else those
// with a rival about as good.
void UnsureReasons(const MrzResult& r, float minConfidence, std::vector<std::string>& out) {
    const std::vector<std::vector<bool>> checked = mrz::CheckedPlaces(r.format);
    const float unchecked = std::max(minConfidence, mrz::MrzLimits::kUncheckedMinProbability);
    for (const bool lowOnly : {true, false}) {
        int listed = 0, more = 0;
        for (size_t l = 0; l < r.characters.size(); ++l) {
            for (size_t c = 0; c < r.characters[l].size(); ++c) {
                const MrzCharacter& ch = r.characters[l][c];
                const std::pair<char, float>* rival = RivalOf(ch);
                const bool covered = l < checked.size() && c < checked[l].size() && checked[l][c];
                const bool low = ch.confidence < (covered ? minConfidence : unchecked);
                const bool close = rival != nullptr && rival->second >= ch.confidence - kUnsureGap;
                if (!(lowOnly ? low : close)) continue;
                if (listed >= kMaxUnsureListed) {
                    ++more;
                    continue;
                }
                std::string reason = "line " + std::to_string(l + 1) + " column " +
                                     std::to_string(c + 1) +
                                     " unsure: " + ReadShown(ch.value, ch.confidence);
                if (rival != nullptr) reason += " or " + RivalShown(rival->first, rival->second);
                out.push_back(reason);
                ++listed;
            }
        }
        if (more > 0) out.push_back(std::to_string(more) + " more characters unsure");
        if (listed > 0) return;
    }
}

// The character read with the least confidence, with its rival, as the end
// of a reason ("; least sure: line 1 column 7 'K' 0.99 or 'X' 0.01"); empty
// for a zone without characters.
std::string LeastSure(const MrzResult& r) {
    const MrzCharacter* least = nullptr;
    size_t line = 0, column = 0;
    for (size_t l = 0; l < r.characters.size(); ++l)
        for (size_t c = 0; c < r.characters[l].size(); ++c)
            if (least == nullptr || r.characters[l][c].confidence < least->confidence) {
                least = &r.characters[l][c];
                line = l, column = c;
            }
    if (least == nullptr) return "";
    std::string out = "; least sure: line " + std::to_string(line + 1) + " column " +
                      std::to_string(column + 1) + " " + ReadShown(least->value, least->confidence);
    if (const auto* rival = RivalOf(*least))
        out += " or " + RivalShown(rival->first, rival->second);
    return out;
}

}  // namespace

void MrzReport(MrzResult& r, const MrzOptions& options) {
    r.checks.clear();
    r.reasons.clear();
    r.checksOk = false;
    r.score = 0;
    r.surname.clear(), r.givenNames.clear(), r.birthDate.clear(), r.expiryDate.clear();
    r.optionalData.clear();
    r.expired = false;
    if (r.stopped) r.reasons.push_back("stopped: " + r.stopReason);
    if (!r.found) {
        r.valid = false;
        return;
    }
    const Date today = Today(options.today);
    int holding = 0;
    bool classes = true, names = true;
    std::vector<std::string> optional;
    for (MrzField& f : r.fields) {
        f.value = Squeezed(f.value);
        f.valid = (!f.hasCheck || f.checkValid) && f.classValid;
        if (f.hasCheck) {
            const int digit = MrzCheckDigit(f.raw);
            MrzCheck c;
            c.field = f.name;
            c.read = f.check;
            c.computed = digit < 0 ? '?' : char('0' + digit);
            c.holds = f.checkValid && c.computed == c.read;
            // The filler stands for a check digit of 0 over an empty field.
            if (f.checkValid && c.read == '<' && c.computed == '0') c.holds = true;
            holding += c.holds;
            r.checks.push_back(c);
            if (!c.holds) r.reasons.push_back("check digit of " + f.name + " fails");
        }
        if (!f.classValid) {
            classes = false;
            // The combined name's class is reported by its parts.
            if (f.name != "name") r.reasons.push_back(ClassReason(f));
        }
        if ((f.name == "issuing_state" || f.name == "nationality") && f.classValid) {
            std::string code = f.raw;
            if (!mrz::IsCountryCode(code))
                r.reasons.push_back("state code '" + code + "' is not a known code (" + f.name +
                                    ")");
        }
        if (f.name == "name" && !mrz::NameHasForm(f.raw)) {
            names = false;
            r.reasons.push_back("the name has letters after a second double filler");
        }
        if (f.name == "surname") r.surname = f.value;
        if (f.name == "given_names") r.givenNames = f.value;
        if ((f.name.rfind("optional_data", 0) == 0 || f.name == "personal_number") &&
            !f.value.empty())
            optional.push_back(f.value);
    }
    for (size_t i = 0; i < optional.size(); ++i) r.optionalData += (i ? " " : "") + optional[i];
    r.checksOk = !r.checks.empty() && holding == int(r.checks.size());
    r.score = r.checks.empty() ? 0 : int(100 * holding / int(r.checks.size()));

    bool dates = true;
    for (const MrzField& f : r.fields) {
        const bool birth = f.name == "birth_date", expiry = f.name == "expiry_date";
        if (!birth && !expiry) continue;
        Date d;
        if (!SixDigits(f.raw, d)) continue;  // fillers: unknown; letters: reported by class
        const int yy = d.year;
        d.year = 2000 + yy;
        if (birth && today < d) d.year = 1900 + yy;
        if (expiry && d.year > today.year + kExpiryWindowYears) d.year = 1900 + yy;
        if (!IsDay(d)) {
            r.reasons.push_back(f.name + " '" + f.raw + "' is no date");
            dates = false;
            continue;
        }
        if (birth) r.birthDate = Iso(d);
        if (expiry) {
            r.expiryDate = Iso(d);
            r.expired = d < today;
        }
    }
    if (r.reachesEdge)
        r.reasons.push_back(
            "the zone's lines run to the image's edge, or to the end of the part "
            "read: it may be a longer zone cut short");
    // Print smaller than any the network learnt is read, never trusted.
    const bool tooSmall =
        r.characterHeight > 0 && r.characterHeight < mrz::MrzLimits::kMinValidHeight;
    if (tooSmall)
        r.reasons.push_back("the print is too small to be sure of (capitals of " +
                            std::to_string(r.characterHeight) + " px)");
    // A reading is valid only when every check holds, every field keeps to
    // its class, the name to a name's form and the dates are dates, whatever
    // else the reader judged.
    r.valid = r.valid && r.checksOk && classes && names && dates && !r.reachesEdge && !tooSmall;
    // With every check holding, what kept the zone from valid is a doubtful
    // character (a rival about as good, or too little confidence: less than
    // the reader's threshold, or the host's where it asks for more).
    if (!r.valid && r.checksOk && classes && names && dates)
        UnsureReasons(r, std::max(options.minConfidence, mrz::MrzLimits::kMinProbability),
                      r.reasons);
    if (!r.valid && r.reasons.empty())
        r.reasons.push_back("the reading is not sure enough to be valid" + LeastSure(r));
}

}  // namespace gw
