#include "mrz/MrzGrammar.h"

#include "mrz/CountryCodes.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <iterator>
#include <string_view>
#include <utility>

namespace gw::mrz {

namespace {

struct Span {
    int line;
    int start;
    int length;
};

struct FieldLayout {
    const char* name;
    Span span;
    Cls cls;
    int checkLine = -1;  // the check digit's line and column, -1 without one
    int checkColumn = -1;
};

struct Layout {
    const char* format;
    int lineCount;
    int length;
    std::vector<FieldLayout> fields;
    std::vector<Span> composite;  // spans the composite check digit covers
    int compositeLine = -1;
    int compositeColumn = -1;
};

// Passports, TD2 cards and visas share their first 28 columns: the names on
// the first line, the number, nationality, dates and sex on the second. They
// differ in the line length, the last field and the composite check digit,
// which stands in the last column where there is one.
Layout TwoLineLayout(const char* format, int length, FieldLayout last,
                     std::vector<Span> composite) {
    Layout layout{format,
                  2,
                  length,
                  {{"document_code", {0, 0, 2}, Cls::Letter},
                   {"issuing_state", {0, 2, 3}, Cls::Letter},
                   {"name", {0, 5, length - 5}, Cls::Name},
                   {"document_number", {1, 0, 9}, Cls::Alnum, 1, 9},
                   {"nationality", {1, 10, 3}, Cls::Letter},
                   {"birth_date", {1, 13, 6}, Cls::Digit, 1, 19},
                   {"sex", {1, 20, 1}, Cls::Sex},
                   {"expiry_date", {1, 21, 6}, Cls::Digit, 1, 27},
                   last},
                  std::move(composite)};
    if (!layout.composite.empty()) {
        layout.compositeLine = 1;
        layout.compositeColumn = length - 1;
    }
    return layout;
}

// The field layouts of ICAO 9303 (parts 4 to 7), line and column 0-based.
const Layout* LayoutOf(std::string_view format) {
    static const Layout td1{"TD1",
                            3,
                            30,
                            {{"document_code", {0, 0, 2}, Cls::Letter},
                             {"issuing_state", {0, 2, 3}, Cls::Letter},
                             {"document_number", {0, 5, 9}, Cls::Alnum, 0, 14},
                             {"optional_data", {0, 15, 15}, Cls::Alnum},
                             {"birth_date", {1, 0, 6}, Cls::Digit, 1, 6},
                             {"sex", {1, 7, 1}, Cls::Sex},
                             {"expiry_date", {1, 8, 6}, Cls::Digit, 1, 14},
                             {"nationality", {1, 15, 3}, Cls::Letter},
                             {"optional_data_2", {1, 18, 11}, Cls::Alnum},
                             {"name", {2, 0, 30}, Cls::Name}},
                            {{0, 5, 25}, {1, 0, 7}, {1, 8, 7}, {1, 18, 11}},
                            1,
                            29};
    static const Layout td2 = TwoLineLayout("TD2", 36, {"optional_data", {1, 28, 7}, Cls::Alnum},
                                            {{1, 0, 10}, {1, 13, 7}, {1, 21, 14}});
    static const Layout td3 =
        TwoLineLayout("TD3", 44, {"personal_number", {1, 28, 14}, Cls::Alnum, 1, 42},
                      {{1, 0, 10}, {1, 13, 7}, {1, 21, 22}});
    static const Layout mrva =
        TwoLineLayout("MRV-A", 44, {"optional_data", {1, 28, 16}, Cls::Alnum}, {});
    static const Layout mrvb =
        TwoLineLayout("MRV-B", 36, {"optional_data", {1, 28, 8}, Cls::Alnum}, {});
    for (const Layout* l : {&td1, &td2, &td3, &mrva, &mrvb})
        if (format == l->format) return l;
    return nullptr;
}

// The class index of every byte (-1 outside the alphabet), and for every
// position class the set of class indexes it allows, as bits: the decoder
// asks both for every candidate of every position.
constexpr std::array<int8_t, 256> kClassOfByte = [] {
    std::array<int8_t, 256> t{};
    t.fill(-1);
    for (int k = 0; k < kClasses; ++k) t[uint8_t(kAlphabet[k])] = int8_t(k);
    return t;
}();
static_assert(kClassOfByte['0'] == 0 && kClassOfByte['A'] == 10 && kClassOfByte['<'] == 36 &&
              kClassOfByte['a'] == -1);

constexpr uint64_t Bits(std::string_view chars) {
    uint64_t bits = 0;
    for (char c : chars) bits |= uint64_t{1} << kClassOfByte[uint8_t(c)];
    return bits;
}
constexpr uint64_t kDigits = Bits("0123456789<"), kLetters = Bits("ABCDEFGHIJKLMNOPQRSTUVWXYZ<");
constexpr uint64_t kAllowed[] = {kLetters,     kDigits,   kLetters | kDigits, kDigits,
                                 Bits("MFX<"), Bits("P"), Bits("ACI"),        kLetters};
static_assert(std::size(kAllowed) == size_t(Cls::Name) + 1);

// Whether class index k is allowed by cls.
bool AllowsIndex(Cls cls, int k) {
    return (kAllowed[size_t(cls)] >> k) & 1;
}

bool Allows(Cls cls, char c) {
    const int k = kClassOfByte[uint8_t(c)];
    return k >= 0 && AllowsIndex(cls, k);
}

// The characters of like shape whose values in a check sum differ from c's
// by 10, 20 or 30, so that no check digit tells them apart: a digit and a
// letter (0 and U), or two letters (M 22 and W 32).
std::string_view BlindTwins(char c) {
    switch (c) {
        case '0':
            return "U";
        case 'U':
            return "0";
        case '8':
            return "S";
        case 'S':
            return "8";
        case '6':
            return "G";
        case 'G':
            return "6Q";
        case 'Q':
            return "G";
        case 'M':
            return "W";
        case 'W':
            return "M";
        case 'F':
            return "P";
        case 'P':
            return "F";
        case 'J':
            return "T";
        case 'T':
            return "J";
        case 'H':
            return "R";
        case 'R':
            return "H";
        default:
            return "";
    }
}

// The characters of the other kind (digit or letter) that OCR-B print of c
// is taken for: the pairs whose runs fill document numbers.
std::string_view LookAlikes(char c) {
    switch (c) {
        case '0':
            return "OQD";
        case 'O':
        case 'Q':
        case 'D':
            return "0";
        case '1':
            return "I";
        case 'I':
            return "1";
        case '2':
            return "Z";
        case 'Z':
            return "2";
        case '5':
            return "S";
        case 'S':
            return "5";
        case '6':
            return "G";
        case 'G':
            return "6";
        case '8':
            return "B";
        case 'B':
            return "8";
        default:
            return "";
    }
}

// The most probable look-alike of c (LookAlikes) that cls allows; c itself
// where cls allows it or none does.
char LookAlikeIn(const Scores& s, Cls cls, char c) {
    if (Allows(cls, c)) return c;
    int twin = -1;
    for (char t : LookAlikes(c)) {
        const int k = ClassOf(t);
        if (AllowsIndex(cls, k) && (twin < 0 || s[size_t(k)] > s[size_t(twin)])) twin = k;
    }
    return twin >= 0 ? kAlphabet[twin] : c;
}

// The best candidate that the class allows, unless a candidate outside it
// is far more probable (the best in-class one below kKeepOutOfClass of
// its probability): that one stays, and the field fails its class.
char ChooseIn(const Scores& s, Cls cls) {
    int best = 0, bestIn = -1;
    for (int k = 0; k < kClasses; ++k) {
        if (s[k] > s[best]) best = k;
        if (AllowsIndex(cls, k) && (bestIn < 0 || s[k] > s[bestIn])) bestIn = k;
    }
    if (s[bestIn] >= MrzLimits::kKeepOutOfClass * s[best]) return kAlphabet[bestIn];
    // A place of digits only (a date, a check digit) holds no letter: a
    // letter read there is its digit look-alike (an O is a 0), however
    // sure its cell was of the letter; the check over it then decides. A
    // name holds no digit the same way (a small O read 0 is an O), and
    // OwnProbability weighs the letter from its cell. Codes keep what is
    // printed (a card's C1, a nationality printed as digits).
    if (cls == Cls::Digit || cls == Cls::Check || cls == Cls::Name)
        return LookAlikeIn(s, cls, kAlphabet[best]);
    return kAlphabet[best];
}

// The probability of c at a place of class cls from its cell alone (s):
// what its look-alikes of the other kind scored (a 0 for an O in a name)
// does not count against it, since the place cannot hold them; what
// anything else scored does (a cell that read 3 about as well as I is unsure
// whether it is a letter at all). A place that admits one character only
// holds it, whatever its cell.
float OwnProbability(const Scores& s, Cls cls, char c) {
    const int k = ClassOf(c);
    const float p = k < 0 ? 0.0f : s[size_t(k)];
    if (!Allows(cls, c)) return p;
    if (std::popcount(kAllowed[size_t(cls)]) == 1) return 1.0f;  // the format decides it
    float excluded = 0;
    for (char twin : LookAlikes(c))
        if (!Allows(cls, twin)) excluded += s[size_t(ClassOf(twin))];
    return excluded < 1 ? p / (1 - excluded) : 0.0f;
}

// The weights of a check digit's sum, place by place in turn.
constexpr int kWeights[3] = {7, 3, 1};

struct Pos {
    int line;
    int column;
    bool operator==(const Pos&) const = default;
};

struct Check {
    std::string field;
    std::vector<Pos> data;
    Pos digit{0, 0};
};

std::vector<Pos> Positions(Span s) {
    std::vector<Pos> out;
    out.reserve(size_t(std::max(s.length, 0)));
    for (int i = 0; i < s.length; ++i) out.push_back({s.line, s.start + i});
    return out;
}

std::string Cleaned(std::string_view raw) {
    std::string v(raw);
    std::replace(v.begin(), v.end(), '<', ' ');
    const auto first = v.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return v.substr(first, v.find_last_not_of(' ') - first + 1);
}

// The zone being decoded: the probabilities of every cell, the class of
// every position, the character chosen there, and how probable that choice
// is as decided (given the check digit or the list of state codes that
// covers it; the cell's own probability where nothing does).
class Zone {
  public:
    Zone(const std::vector<std::vector<Scores>>& cells, std::vector<std::vector<Cls>> classes)
        : cells_(cells), classes_(std::move(classes)) {
        for (size_t l = 0; l < cells_.size(); ++l) {
            std::string line;
            line.reserve(cells_[l].size());
            for (size_t c = 0; c < cells_[l].size(); ++c)
                line += ChooseIn(cells_[l][c], classes_[l][c]);
            lines_.push_back(line);
            decided_.emplace_back(cells_[l].size(), -1.0f);
        }
    }

    char At(Pos p) const { return lines_[p.line][p.column]; }
    void Set(Pos p, char c) { lines_[p.line][p.column] = c; }
    float P(Pos p, char c) const {
        const int k = ClassOf(c);
        return k < 0 ? 0.0f : cells_[p.line][p.column][size_t(k)];
    }
    Cls ClassAt(Pos p) const { return classes_[p.line][p.column]; }
    const std::vector<std::string>& Lines() const { return lines_; }

    // The best reading at p of the characters cls allows.
    char BestOf(Pos p, Cls cls) const {
        int best = -1;
        for (int k = 0; k < kClasses; ++k)
            if (AllowsIndex(cls, k) &&
                (best < 0 || cells_[p.line][p.column][k] > cells_[p.line][p.column][best]))
                best = k;
        return kAlphabet[best];
    }

    // The probability of the character at p as decided: given its check
    // digit or the list of codes where one decided it, else given the class
    // of its position (a name holds no digits, whatever a 6 scores there).
    float Decided(Pos p) const {
        const float d = decided_[p.line][p.column];
        return d >= 0 ? d : Own(p);
    }
    // The probability of the character at p from its cell alone, given the
    // class of its position (OwnProbability).
    float Own(Pos p) const { return OwnProbability(cells_[p.line][p.column], ClassAt(p), At(p)); }
    // The look-alike of the character at p that cls allows (LookAlikeIn).
    char LookAlike(Pos p, Cls cls) const {
        return LookAlikeIn(cells_[p.line][p.column], cls, At(p));
    }
    void SetDecided(Pos p, float probability) { decided_[p.line][p.column] = probability; }
    // How many characters read more probably than the one at p from its
    // cell alone, whatever its position admits.
    int Rank(Pos p) const {
        const Scores& s = cells_[p.line][p.column];
        const float own = P(p, At(p));
        return int(std::count_if(s.begin(), s.end(), [&](float v) { return v > own; }));
    }

    bool Agrees(const Check& c) const {
        int sum = 0;
        for (size_t i = 0; i < c.data.size(); ++i)
            sum += CharValue(At(c.data[i])) * kWeights[i % 3];
        return sum % 10 == CharValue(At(c.digit));
    }

  private:
    const std::vector<std::vector<Scores>>& cells_;
    std::vector<std::vector<Cls>> classes_;
    std::vector<std::string> lines_;
    std::vector<std::vector<float>> decided_;  // -1: the cell's own probability
};

// A field and its check digit decided together. Every position takes one of
// its candidates (the characters its class admits, with their
// probabilities; a position in fixed, or holding a character outside its
// class, keeps what it holds), and the check sum runs over them, so the
// positions are a chain whose state is the sum modulo 10: the most probable
// reading whose check holds is found by the Viterbi recursion over that
// chain, and every character's probability given that the check holds by
// the forward-backward one. Cancelling swaps (0 for O at weights 3 and 7)
// are readings of the chain like any other, so their probability counts
// against the reading chosen. Returns whether the check holds afterwards.
bool DecideChecked(Zone& zone, const Check& check, const std::vector<Pos>& fixed,
                   std::vector<MrzCorrection>& corrections) {
    struct Option {
        char c;
        int value;
        double p;
    };
    // A place's candidates, the character read among them; one option only
    // where the place keeps what it holds.
    struct Place {
        std::array<Option, MrzLimits::kCandidatesPerPlace> o;
        size_t count = 0;
        bool kept = false;
        const Option* begin() const { return o.data(); }
        const Option* end() const { return o.data() + count; }
    };
    const size_t n = check.data.size();  // place n is the check digit
    auto at = [&](size_t i) { return i < n ? check.data[i] : check.digit; };
    std::vector<Place> options(n + 1);
    double unchanged = 1;  // the probability of the reading as it stands
    for (size_t i = 0; i <= n; ++i) {
        const Pos p = at(i);
        const char now = zone.At(p);
        const bool keep = std::find(fixed.begin(), fixed.end(), p) != fixed.end() ||
                          !Allows(zone.ClassAt(p), now) || (i == n && !Allows(Cls::Check, now));
        Place& place = options[i];
        if (keep) {
            // A letter kept as the check digit never equals a sum modulo 10.
            if (i == n && CharValue(now) > 9) return false;
            place.kept = true;
            place.o[0] = {now, CharValue(now), 1.0};
            place.count = 1;
            continue;
        }
        unchanged *= zone.P(p, now);
        std::array<Option, kClasses> all;
        size_t count = 0;
        for (int k = 0; k < kClasses; ++k) {
            const char c = kAlphabet[k];
            if (!AllowsIndex(zone.ClassAt(p), k) || (i == n && !AllowsIndex(Cls::Check, k)))
                continue;
            const double pc = zone.P(p, c);
            if (pc >= MrzLimits::kCandidateFloor || c == now)
                all[count++] = {c, CharValue(c), std::max(pc, 1e-30)};
        }
        // The most probable few, with the character read among them.
        place.count = std::min(count, place.o.size());
        if (count > place.count)
            std::partial_sort(all.begin(), all.begin() + place.count, all.begin() + count,
                              [&](const Option& a, const Option& b) {
                                  return (a.c == now) != (b.c == now) ? a.c == now : a.p > b.p;
                              });
        std::copy_n(all.begin(), place.count, place.o.begin());
    }
    // Forward sums and best paths over the data positions, by sum modulo 10.
    using Row = std::array<double, 10>;
    std::vector<Row> forward(n + 1), best(n + 1);
    std::vector<std::array<std::pair<int, int>, 10>> back(n + 1);  // state, option
    forward[0].fill(0), best[0].fill(0);
    forward[0][0] = best[0][0] = 1;
    for (size_t i = 0; i < n; ++i) {
        forward[i + 1].fill(0), best[i + 1].fill(0);
        back[i + 1].fill({-1, -1});
        const int w = kWeights[i % 3];
        for (int s = 0; s < 10; ++s) {
            if (forward[i][size_t(s)] <= 0) continue;
            for (size_t o = 0; o < options[i].count; ++o) {
                const Option& opt = options[i].o[o];
                const size_t t = size_t((s + w * opt.value) % 10);
                forward[i + 1][t] += forward[i][size_t(s)] * opt.p;
                const double b = best[i][size_t(s)] * opt.p;
                if (b > best[i + 1][t]) best[i + 1][t] = b, back[i + 1][t] = {s, int(o)};
            }
        }
    }
    // The check digit closes the chain: its value must equal the sum.
    double total = 0, top = 0;
    int topDigit = -1;
    for (size_t o = 0; o < options[n].count; ++o) {
        const Option& d = options[n].o[o];
        total += forward[n][size_t(d.value)] * d.p;
        const double b = best[n][size_t(d.value)] * d.p;
        if (b > top) top = b, topDigit = int(o);
    }
    if (total <= 0 || topDigit < 0) return false;
    if (!zone.Agrees(check)) {
        // A change the check digit asks for must be about as probable as the
        // reading as it stands; a wrongly printed digit stays as printed.
        if (top < MrzLimits::kCorrectionRatio * unchanged) return false;
        std::vector<char> chosen(n + 1);
        chosen[n] = options[n].o[size_t(topDigit)].c;
        int s = options[n].o[size_t(topDigit)].value;
        for (size_t i = n; i > 0; --i) {
            const auto [prev, o] = back[i][size_t(s)];
            chosen[i - 1] = options[i - 1].o[size_t(o)].c;
            s = prev;
        }
        for (size_t i = 0; i <= n; ++i) {
            const Pos p = at(i);
            if (chosen[i] == zone.At(p)) continue;
            corrections.push_back({p.line, p.column, zone.At(p), chosen[i], check.field});
            zone.Set(p, chosen[i]);
        }
    }
    // Backward sums, then each chosen character's probability given the check.
    std::vector<Row> backward(n + 1);
    backward[n].fill(0);
    for (const Option& d : options[n]) backward[n][size_t(d.value)] += d.p;
    for (size_t i = n; i > 0; --i) {
        backward[i - 1].fill(0);
        const int w = kWeights[(i - 1) % 3];
        for (int s = 0; s < 10; ++s)
            for (const Option& opt : options[i - 1])
                backward[i - 1][size_t(s)] += opt.p * backward[i][size_t((s + w * opt.value) % 10)];
    }
    for (size_t i = 0; i <= n; ++i) {
        if (options[i].kept) continue;
        const Pos p = at(i);
        const char c = zone.At(p);
        double mass = 0;
        for (const Option& opt : options[i]) {
            if (opt.c != c) continue;
            if (i == n) {
                mass = forward[n][size_t(opt.value)] * opt.p;
            } else {
                const int w = kWeights[i % 3];
                for (int s = 0; s < 10; ++s)
                    mass += forward[i][size_t(s)] * opt.p *
                            backward[i + 1][size_t((s + w * opt.value) % 10)];
            }
        }
        zone.SetDecided(p, float(mass / total));
    }
    return true;
}

// Whether the check c, which holds as read, holds as well with the character
// at p and other places of c read as it is all changed to p's rival (the
// character its cell gave most to after it): a run of one look-alike in one
// print, whose errors go together, and whose change the sum may not see (Q
// read 0 at weights 7 and 3: 26 times 10). Such a check rules that rival
// out no more than the cells do. Partners are places whose cells give the
// rival at least kCandidateFloor.
bool RunMayFlip(const Zone& zone, const Check& c, Pos p) {
    const char read = zone.At(p);
    char rival = 0;
    float most = 0;
    for (int k = 0; k < kClasses; ++k) {
        const char ch = kAlphabet[k];
        if (ch != read && AllowsIndex(zone.ClassAt(p), k) && zone.P(p, ch) > most)
            most = zone.P(p, ch), rival = ch;
    }
    if (rival == 0 || CharValue(rival) < 0 || CharValue(read) < 0) return false;
    const int change = CharValue(rival) - CharValue(read);
    // Each place moves the sum by its weight times the change (the check
    // digit by minus the change, 9 modulo 10). Some set of partners with p
    // whose changes cancel: the sums modulo 10 that non-empty sets of
    // partners reach, one partner at a time.
    int own = 0;
    unsigned reached = 0;
    for (size_t i = 0; i <= c.data.size(); ++i) {
        const Pos q = i < c.data.size() ? c.data[i] : c.digit;
        const int w = i < c.data.size() ? kWeights[i % 3] : 9;
        const int moved = (w * change % 10 + 10) % 10;
        if (q == p) {
            own = moved;
        } else if (zone.At(q) == read && Allows(zone.ClassAt(q), rival) &&
                   zone.P(q, rival) >= MrzLimits::kCandidateFloor) {
            unsigned next = reached | (1u << moved);
            for (int r = 0; r < 10; ++r)
                if (reached & (1u << r)) next |= 1u << ((r + moved) % 10);
            reached = next;
        }
    }
    return (reached >> ((10 - own) % 10)) & 1u;
}

// Long document numbers (TD1 and TD2): when the number fills its nine places
// and a filler stands where its check digit belongs, the number continues in
// the optional data up to the next filler, and its last character there is
// the check digit. Returns how many characters of the optional data it took
// (with the filler after them).
int ExtendNumber(const Zone& zone, const FieldLayout& number, Span optional, Check& check) {
    if (zone.At({number.checkLine, number.checkColumn}) != '<') return 0;
    std::vector<Pos> rest;
    for (Pos p : Positions(optional)) {
        if (zone.At(p) == '<') break;
        rest.push_back(p);
    }
    if (rest.size() < 2) return 0;
    check.digit = rest.back();
    rest.pop_back();
    check.data.insert(check.data.end(), rest.begin(), rest.end());
    return static_cast<int>(rest.size()) + 2;  // the digit and its filler
}

bool FitsClass(const Zone& zone, const std::vector<Pos>& positions) {
    return std::all_of(positions.begin(), positions.end(),
                       [&](Pos p) { return Allows(zone.ClassAt(p), zone.At(p)); });
}

bool IsStateField(const FieldLayout& f) {
    const std::string_view name = f.name;
    return name == "issuing_state" || name == "nationality";
}

std::string CodeAt(const Zone& zone, Span s) {
    std::string code;
    for (Pos q : Positions(s)) code += zone.At(q);
    return code;
}

// An issuing state or nationality decided over the list of known codes, as a
// checked field is over its check digit: the most probable known code is
// taken when it is not far less probable than the reading as it stands, and
// each of its characters' probability is the share of the known codes'
// probability that agrees with it there. Returns whether a known code stands.
bool DecideStateCode(Zone& zone, const FieldLayout& f, std::vector<MrzCorrection>& corrections) {
    const std::vector<Pos> positions = Positions(f.span);
    if (!FitsClass(zone, positions)) return false;  // printed in another kind
    auto probability = [&](std::string_view code) {
        double p = 1;
        for (size_t i = 0; i < positions.size(); ++i) p *= zone.P(positions[i], code[i]);
        return p;
    };
    double total = 0, top = 0;
    std::string_view topCode;
    for (std::string_view code : kCountryCodes) {
        const double p = probability(code);
        total += p;
        if (p > top) top = p, topCode = code;
    }
    const std::string now = CodeAt(zone, f.span);
    if (total <= 0 || topCode.empty()) return false;
    if (!IsCountryCode(now)) {
        if (top < MrzLimits::kCorrectionRatio * probability(now)) return false;
        for (size_t i = 0; i < positions.size(); ++i) {
            if (topCode[i] == now[i]) continue;
            corrections.push_back(
                {positions[i].line, positions[i].column, now[i], topCode[i], f.name});
            zone.Set(positions[i], topCode[i]);
        }
    }
    const std::string code = CodeAt(zone, f.span);
    for (size_t i = 0; i < positions.size(); ++i) {
        double agree = 0;
        for (std::string_view other : kCountryCodes)
            if (other[i] == code[i]) agree += probability(other);
        zone.SetDecided(positions[i], float(agree / total));
    }
    return true;
}

}  // namespace

std::pair<char, float> ReadAt(const Scores& s, Cls cls) {
    const char c = ChooseIn(s, cls);
    return {c, OwnProbability(s, cls, c)};
}

int ClassOf(char c) {
    return kClassOfByte[uint8_t(c)];
}

int CharValue(char c) {
    const int k = ClassOf(c);
    return k == 36 ? 0 : k;
}

std::string FormatOf(size_t lineCount, size_t length, char documentCode) {
    if (lineCount == 3 && length == 30) return "TD1";
    if (lineCount != 2) return "";
    if (length == 36) return documentCode == 'V' ? "MRV-B" : "TD2";
    if (length == 44) return documentCode == 'V' ? "MRV-A" : "TD3";
    return "";
}

std::vector<std::pair<int, int>> DateCells(size_t lineCount, size_t length) {
    std::vector<std::pair<int, int>> out;
    // The formats of one shape place their dates alike.
    const Layout* layout = LayoutOf(FormatOf(lineCount, length, 'P'));
    if (layout == nullptr) return out;
    for (const FieldLayout& f : layout->fields) {
        const std::string_view name = f.name;
        if (name != "birth_date" && name != "expiry_date") continue;
        for (int i = 0; i < f.span.length; ++i) out.emplace_back(f.span.line, f.span.start + i);
        out.emplace_back(f.checkLine, f.checkColumn);
    }
    return out;
}

bool DateMayHold(const DateScores& cells) {
    constexpr size_t kFiller = 10;  // symbol 10: '<', worth 0 in a sum
    // Each cell's symbols (digits, then the filler) at their probability
    // over its most probable symbol's.
    auto ratios = [](const Scores& s) {
        std::array<double, 11> r{};
        for (size_t v = 0; v < 10; ++v) r[v] = s[v];
        r[kFiller] = s[kClasses - 1];
        const double top = *std::max_element(r.begin(), r.end());
        for (double& x : r) x = top > 0 ? x / top : 0;
        return r;
    };
    // A pair of symbols is a year, month or day: two fillers (not known),
    // or two digits no greater than the part allows (00 for not known, as
    // some issuers print it).
    auto fits = [](size_t part, size_t tens, size_t units) {
        if (tens == kFiller || units == kFiller) return tens == units;
        const size_t most[3] = {99, 12, 31};
        return tens * 10 + units <= most[part];
    };
    // The most probable reading of the date for each sum modulo 10, pair
    // by pair.
    std::array<double, 10> best{};
    best[0] = 1;
    for (size_t part = 0; part < 3; ++part) {
        const auto a = ratios(*cells[2 * part]), b = ratios(*cells[2 * part + 1]);
        const int wa = kWeights[(2 * part) % 3], wb = kWeights[(2 * part + 1) % 3];
        std::array<double, 10> next{};
        for (size_t tens = 0; tens < 11; ++tens)
            for (size_t units = 0; units < 11; ++units) {
                const double p = a[tens] * b[units];
                if (p < MrzLimits::kCorrectionRatio || !fits(part, tens, units)) continue;
                const size_t add = ((tens == kFiller ? 0 : size_t(wa) * tens) +
                                    (units == kFiller ? 0 : size_t(wb) * units)) %
                                   10;
                for (size_t s = 0; s < 10; ++s)
                    next[(s + add) % 10] = std::max(next[(s + add) % 10], best[s] * p);
            }
        best = next;
    }
    const auto check = ratios(*cells[6]);
    for (size_t v = 0; v < 10; ++v) {
        const double c = v == 0 ? std::max(check[0], check[kFiller]) : check[v];
        if (best[v] * c >= MrzLimits::kCorrectionRatio) return true;
    }
    return false;
}

bool NameHasForm(const std::string& raw) {
    size_t end = raw.size();
    while (end > 0 && raw[end - 1] == '<') --end;
    int doubles = 0;
    for (size_t i = 0; i + 1 < end; ++i)
        if (raw[i] == '<' && raw[i + 1] == '<' && (i == 0 || raw[i - 1] != '<')) ++doubles;
    return doubles <= 1;
}

bool Admits(const std::string& format, size_t line, size_t column, char c) {
    const auto classes = PositionClasses(format);
    return line < classes.size() && column < classes[line].size() &&
           Allows(classes[line][column], c);
}

std::vector<std::vector<Cls>> PositionClasses(const std::string& format) {
    const Layout* layout = LayoutOf(format);
    if (layout == nullptr) return {};
    std::vector<std::vector<Cls>> classes(layout->lineCount,
                                          std::vector<Cls>(layout->length, Cls::Alnum));
    for (const FieldLayout& f : layout->fields) {
        for (int i = 0; i < f.span.length; ++i) classes[f.span.line][f.span.start + i] = f.cls;
        if (f.checkLine >= 0) classes[f.checkLine][f.checkColumn] = Cls::Check;
    }
    if (layout->compositeLine >= 0)
        classes[layout->compositeLine][layout->compositeColumn] = Cls::Check;
    // Zones of two lines of 44 that are no visa's are passports'; cards'
    // document codes begin with A, C or I. No check digit covers the type.
    if (format == "TD3") classes[0][0] = Cls::Passport;
    if (format == "TD1" || format == "TD2") classes[0][0] = Cls::Card;
    return classes;
}

std::vector<std::vector<bool>> CheckedPlaces(const std::string& format) {
    const Layout* layout = LayoutOf(format);
    if (layout == nullptr) return {};
    std::vector<std::vector<bool>> checked(size_t(layout->lineCount),
                                           std::vector<bool>(size_t(layout->length)));
    auto mark = [&](Span s) {
        for (int i = 0; i < s.length; ++i) checked[size_t(s.line)][size_t(s.start + i)] = true;
    };
    for (const FieldLayout& f : layout->fields) {
        if (f.checkLine < 0) continue;
        mark(f.span);
        checked[size_t(f.checkLine)][size_t(f.checkColumn)] = true;
    }
    for (Span s : layout->composite) mark(s);
    if (layout->compositeLine >= 0)
        checked[size_t(layout->compositeLine)][size_t(layout->compositeColumn)] = true;
    return checked;
}

void Decode(const std::vector<std::vector<Scores>>& cells, const DecodeLimits& limits,
            MrzResult& out, bool* sure, bool* printed) {
    out.found = false;
    if (sure) *sure = false;
    if (printed) *printed = false;
    if (cells.empty() || cells[0].empty()) return;
    for (const auto& l : cells)
        if (l.size() != cells[0].size()) return;
    // The document code's first character is a letter: the best letter there.
    int code = 10;
    for (int k = 10; k < 36; ++k)
        if (cells[0][0][k] > cells[0][0][code]) code = k;
    const std::string format = FormatOf(cells.size(), cells[0].size(), kAlphabet[code]);
    if (format.empty()) return;
    const Layout& layout = *LayoutOf(format);
    Zone zone(cells, PositionClasses(format));
    // A field most of whose characters clearly stand outside its class (a
    // nationality printed as digits) fails its class whatever is chosen: it
    // is reported as printed, in the kind it is printed in.
    for (const FieldLayout& f : layout.fields) {
        if (f.cls != Cls::Letter && f.cls != Cls::Digit) continue;
        const auto positions = Positions(f.span);
        int outside = 0, printed = 0;
        for (Pos p : positions) {
            printed += zone.At(p) != '<';
            outside += !Allows(f.cls, zone.At(p));
        }
        if (2 * outside <= printed) {
            // A state code printed in letters holds no digit: a digit read
            // among its letters (a small O read 0) is its letter look-alike,
            // which the list of codes then weighs.
            if (IsStateField(f))
                for (Pos p : positions)
                    if (!Allows(f.cls, zone.At(p))) zone.Set(p, zone.LookAlike(p, f.cls));
            continue;
        }
        const Cls other = f.cls == Cls::Letter ? Cls::Digit : Cls::Letter;
        for (Pos p : positions) zone.Set(p, zone.BestOf(p, other));
    }
    out.found = true;
    out.format = format;
    out.corrections.clear();
    bool statesKnown = true;
    for (const FieldLayout& f : layout.fields)
        if (IsStateField(f)) statesKnown = DecideStateCode(zone, f, out.corrections) && statesKnown;

    // The checks of the fields, then the composite one over the decided
    // fields, where only positions no field check covers may still change.
    std::vector<Check> checks(layout.fields.size());
    int optionalUsed = 0;
    size_t optionalField = 0;
    std::vector<Pos> covered;
    for (size_t i = 0; i < layout.fields.size(); ++i) {
        const FieldLayout& f = layout.fields[i];
        if (f.checkLine < 0) continue;
        Check& c = checks[i];
        c.field = f.name;
        c.data = Positions(f.span);
        c.digit = {f.checkLine, f.checkColumn};
        if (std::string_view(f.name) == "document_number" && (format == "TD1" || format == "TD2")) {
            optionalField = i + (format == "TD1" ? 1 : 5);
            optionalUsed = ExtendNumber(zone, f, layout.fields[optionalField].span, c);
        }
        DecideChecked(zone, c, {}, out.corrections);
        covered.insert(covered.end(), c.data.begin(), c.data.end());
        covered.push_back(c.digit);
    }
    Check composite;
    if (layout.compositeLine >= 0) {
        composite.field = "composite";
        for (Span s : layout.composite) {
            auto p = Positions(s);
            composite.data.insert(composite.data.end(), p.begin(), p.end());
        }
        composite.digit = {layout.compositeLine, layout.compositeColumn};
        DecideChecked(zone, composite, covered, out.corrections);
    }

    out.fields.clear();
    bool classes = true, nameForm = true;
    for (size_t i = 0; i < layout.fields.size(); ++i) {
        const FieldLayout& f = layout.fields[i];
        MrzField field;
        field.name = f.name;
        std::vector<Pos> positions = Positions(f.span);
        if (f.checkLine >= 0) {
            positions = checks[i].data;
            field.hasCheck = true;
            field.check = zone.At(checks[i].digit);
            field.checkValid = zone.Agrees(checks[i]);
        } else if (optionalUsed > 0 && i == optionalField) {
            positions.erase(positions.begin(),
                            positions.begin() + std::min<size_t>(optionalUsed, positions.size()));
        }
        for (Pos p : positions) field.raw += zone.At(p);
        field.classValid = FitsClass(zone, Positions(f.span));
        if (f.checkLine >= 0)
            field.classValid = field.classValid && FitsClass(zone, {checks[i].digit});
        field.value = Cleaned(field.raw);
        classes = classes && field.classValid;
        out.fields.push_back(field);
        if (field.name == "name") {
            nameForm = NameHasForm(field.raw);
            // The primary identifier ends at the first double filler.
            const auto split = field.raw.find("<<");
            MrzField surname{"surname",       field.raw.substr(0, split), {}, false, 0, true,
                             field.classValid};
            MrzField given{"given_names",
                           split == std::string::npos ? "" : field.raw.substr(split + 2),
                           {},
                           false,
                           0,
                           true,
                           field.classValid};
            surname.value = Cleaned(surname.raw);
            given.value = Cleaned(given.raw);
            out.fields.push_back(surname);
            out.fields.push_back(given);
        }
    }
    if (layout.compositeLine >= 0) {
        MrzField c{"composite", "", "", true, zone.At(composite.digit), zone.Agrees(composite),
                   true};
        for (Pos p : composite.data) c.raw += zone.At(p);
        out.fields.push_back(c);
    }

    // The places a check digit covers (a long number's end in the optional
    // data too: the composite covers it).
    const std::vector<std::vector<bool>> checked = CheckedPlaces(format);

    out.lines = zone.Lines();
    out.characters.assign(cells.size(), {});
    float lowest = 1;
    // The least probability of a character no check digit covers.
    float lowestUnchecked = 1;
    // The characters whose decided probability the zone cannot stand on: a
    // settled character short of kSettledMinProbability or a blind twin no
    // check rules out (each enough to keep the zone from valid), then those
    // of checks that cannot vouch for all they settle.
    std::vector<Pos> doubted;
    for (size_t l = 0; l < cells.size(); ++l) {
        for (size_t c = 0; c < cells[l].size(); ++c) {
            const Scores& s = cells[l][c];
            MrzCharacter ch;
            ch.value = out.lines[l][c];
            ch.confidence = zone.Decided({int(l), int(c)});
            std::array<int, kClasses> order;
            for (int k = 0; k < kClasses; ++k) order[k] = k;
            std::partial_sort(order.begin(), order.begin() + 3, order.end(),
                              [&](int a, int b) { return s[a] > s[b]; });
            ch.candidates.reserve(3);
            for (int k = 0; k < 3; ++k) ch.candidates.push_back({kAlphabet[order[k]], s[order[k]]});
            lowest = std::min(lowest, ch.confidence);
            if (!checked[l][c]) lowestUnchecked = std::min(lowestUnchecked, ch.confidence);
            // A character its cell read below the threshold owes its
            // probability to the grammar's sums over several cells, which
            // no held-out cell calibrated (and whose errors go together: a
            // run of O read as 0 in one print): it must reach the rate a
            // valid zone stands for itself.
            if (zone.Own({int(l), int(c)}) < limits.minProbability &&
                ch.confidence < MrzLimits::kSettledMinProbability)
                doubted.push_back({int(l), int(c)});
            // No check digit tells a blind twin apart, so where a check
            // covers the place and the place admits the twin, the classifier
            // alone must rule it out (where none covers it, the threshold
            // alone stands for every misread). A cell whose first reading
            // the check overruled for a character it does not look like has
            // not ruled out anything: its small probabilities are
            // uncalibrated, and the check chose among twins by them (an N
            // settled as W where M was printed, a 1 as T where J was: run
            // N4). Its look-alike (an O settled as 0) is what it read.
            const Pos p{int(l), int(c)};
            const char first = kAlphabet[order[0]];
            const bool changed =
                first != ch.value && LookAlikes(ch.value).find(first) == std::string_view::npos;
            if (checked[l][c])
                for (char twin : BlindTwins(ch.value))
                    if (Allows(zone.ClassAt(p), twin) &&
                        (s[size_t(ClassOf(twin))] >= MrzLimits::kBlindTwinFloor || changed))
                        doubted.push_back(p);
            out.characters[l].push_back(std::move(ch));
        }
    }
    const bool cellsDoubted = !doubted.empty();
    // A check digit is one decimal digit of evidence: it can settle one
    // character the classifier was unsure of, not several at once (cells cut
    // out of step read as unsure letters whose sum may hold by chance).
    // And it decides between two readings of a cell, not among many: an
    // unsure character its cell did not read first or second (a cell cut
    // out of step, or a stain) is one no check vouches for.
    auto vouchesFor = [&](const std::vector<Pos>& data, Pos digit) {
        int unsure = 0;
        std::vector<Pos> settled;
        auto count = [&](Pos p) {
            if (zone.Own(p) >= limits.minProbability) return;
            unsure += zone.Rank(p) < MrzLimits::kSettledRank ? 1 : 2;
            settled.push_back(p);
        };
        for (Pos p : data) count(p);
        count(digit);
        if (unsure > 1) doubted.insert(doubted.end(), settled.begin(), settled.end());
        return unsure <= 1;
    };
    // Under a check that fails, an unsure character may be the misread one
    // (the composite's fields answer to their own checks).
    auto noneUnsure = [&](const Check& c, const std::vector<Pos>& answered) {
        auto sure = [&](Pos p) {
            return zone.Own(p) >= limits.minProbability ||
                   std::find(answered.begin(), answered.end(), p) != answered.end();
        };
        return sure(c.digit) && std::all_of(c.data.begin(), c.data.end(), sure);
    };
    // Checks that hold must vouch for what they settle; checks that fail
    // must have nothing unsure under them for the reading to be sure as read.
    bool agree = true, vouched = true, failuresPrinted = true;
    // A check settles an unsure character only by ruling its rival out:
    // not where a run of its look-alike changed together holds it too.
    auto runsHeld = [&](const Check& c) {
        auto test = [&](Pos p) {
            if (zone.Own(p) < limits.minProbability && RunMayFlip(zone, c, p))
                doubted.push_back(p), vouched = false;
        };
        for (Pos p : c.data) test(p);
        test(c.digit);
    };
    auto weigh = [&](const Check& c, const std::vector<Pos>& answered) {
        if (zone.Agrees(c)) {
            runsHeld(c);
            vouched = vouched && vouchesFor(c.data, c.digit);
        } else {
            agree = false;
            failuresPrinted = failuresPrinted && noneUnsure(c, answered);
        }
    };
    for (size_t i = 0; i < checks.size(); ++i)
        if (layout.fields[i].checkLine >= 0) weigh(checks[i], {});
    // The composite sum runs over the checked fields as well: one unsure
    // character in all of it, so that two checks never settle two guesses
    // that lean on each other (a cut that slipped at the end of a line read
    // a garbled personal number and an unsure filler as the composite digit,
    // each settled by its own check).
    if (layout.compositeLine >= 0) weigh(composite, covered);
    const bool sureAsRead = statesKnown && classes && nameForm && vouched && failuresPrinted &&
                            !cellsDoubted && lowest >= limits.minProbability &&
                            lowestUnchecked >= MrzLimits::kUncheckedMinProbability;
    // What the checks could not vouch for is reported as sure as its cell
    // was of it, not as the sums over the field made it (a host that reads
    // the confidences sees the doubt that kept the zone from valid).
    for (Pos p : doubted) {
        float& confidence = out.characters[size_t(p.line)][size_t(p.column)].confidence;
        confidence = std::min(confidence, zone.Own(p));
    }
    out.valid = agree && sureAsRead;
    if (sure) *sure = sureAsRead;
    if (printed) *printed = failuresPrinted;
}

int GrammarEvidence(const MrzResult& r) {
    if (!r.found) return 0;
    auto corrected = [&](const std::string& field) {
        return std::any_of(r.corrections.begin(), r.corrections.end(),
                           [&](const MrzCorrection& c) { return c.field == field; });
    };
    auto isDate = [](const std::string& d) {
        if (d.size() != 6 ||
            !std::all_of(d.begin(), d.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        const int month = (d[2] - '0') * 10 + (d[3] - '0'), day = (d[4] - '0') * 10 + (d[5] - '0');
        return month >= 1 && month <= 12 && day >= 1 && day <= 31;
    };
    // A field's print stands at its start, fillers after it: fillers inside
    // a field (a table of '<' and letters) make checks that hold by chance.
    auto filledFromTheStart = [](const std::string& v) {
        const size_t filler = v.find('<');
        return filler != 0 && (filler == std::string::npos ||
                               v.find_first_not_of('<', filler) == std::string::npos);
    };
    int evidence = 0;
    for (const MrzField& f : r.fields) {
        const bool date = f.name == "birth_date" || f.name == "expiry_date";
        const bool shaped = f.name == "composite"
                                ? f.raw.find_first_not_of('<') != std::string::npos
                            : date ? isDate(f.raw)
                                   : filledFromTheStart(f.raw);
        if (f.hasCheck && f.checkValid && f.classValid && !corrected(f.name) && shaped) ++evidence;
        if ((f.name == "issuing_state" || f.name == "nationality") && !corrected(f.name) &&
            IsCountryCode(f.raw))
            ++evidence;
        if (date && isDate(f.raw)) ++evidence;
    }
    return evidence;
}

namespace {
// The probabilities DecodeText gives a character's look-alikes (enough for
// a check to choose one: above kCandidateFloor) and every other character;
// the character itself keeps more than kMinProbability (with three
// look-alikes, 0.9988).
constexpr float kTextLookAlike = 0.0003f;
constexpr float kTextOther = 1e-5f;
static_assert(1 - 3 * kTextLookAlike - 33 * kTextOther > MrzLimits::kMinProbability);
}  // namespace

MrzResult DecodeText(const std::vector<std::string>& lines, const DecodeLimits& limits) {
    // The character read is nearly certain; its OCR-B look-alikes share a
    // little probability, so that classes and check digits may choose them.
    // Blind twins (0 and U, 8 and S, 6 and G) share none: no check settles
    // them, so any share would leave every zone with one not valid.
    static constexpr std::string_view kConfusable[] = {"0O", "OD", "OQ", "1I", "2Z",
                                                       "4A", "5S", "7T", "8B"};
    std::vector<std::vector<Scores>> cells;
    for (const std::string& line : lines) {
        std::vector<Scores> row;
        for (char c : line) {
            Scores s{};
            if (ClassOf(c) < 0) {
                s.fill(1.0f / kClasses);
            } else {
                s.fill(kTextOther);
                for (std::string_view g : kConfusable)
                    if (g.find(c) != std::string_view::npos)
                        for (char a : g) s[ClassOf(a)] = kTextLookAlike;
                s[ClassOf(c)] = 0;
                float rest = 0;
                for (float v : s) rest += v;
                s[ClassOf(c)] = 1.0f - rest;
            }
            row.push_back(s);
        }
        cells.push_back(row);
    }
    MrzResult out;
    Decode(cells, limits, out);
    return out;
}

}  // namespace gw::mrz
