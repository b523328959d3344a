#include "mrz/MrzGrammar.h"

#include "mrz/CountryCodes.h"

#include <algorithm>
#include <string_view>

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
                   {"name", {0, 5, length - 5}, Cls::Letter},
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
                             {"name", {2, 0, 30}, Cls::Letter}},
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

bool Allows(Cls cls, char c) {
    const bool letter = c >= 'A' && c <= 'Z';
    const bool digit = c >= '0' && c <= '9';
    switch (cls) {
        case Cls::Letter:
            return letter || c == '<';
        case Cls::Digit:
        case Cls::Check:
            return digit || c == '<';
        case Cls::Alnum:
            return letter || digit || c == '<';
        case Cls::Sex:
            return c == 'M' || c == 'F' || c == 'X' || c == '<';
        case Cls::Passport:
            return c == 'P';
    }
    return false;
}

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

// Characters a check digit cannot tell apart that also look alike in OCR-B.
bool LookAlikeBlind(char a, char b) {
    return BlindLookAlike(a) == b && b != 0;
}

// The zone being decoded: the scores of every cell, the class of every
// position and the character chosen there.
class Zone {
  public:
    Zone(const std::vector<std::vector<Scores>>& cells, std::vector<std::vector<Cls>> classes,
         const DecodeLimits& limits)
        : cells_(cells), classes_(std::move(classes)), limits_(limits) {
        for (size_t l = 0; l < cells_.size(); ++l) {
            std::string line;
            for (size_t c = 0; c < cells_[l].size(); ++c)
                line += Choose(cells_[l][c], classes_[l][c]);
            lines_.push_back(line);
        }
    }

    char At(Pos p) const { return lines_[p.line][p.column]; }
    void Set(Pos p, char c) { lines_[p.line][p.column] = c; }
    float Score(Pos p, char c) const {
        const int k = ClassOf(c);
        return k < 0 ? 0.0f : cells_[p.line][p.column][size_t(k)];
    }

    // The best reading at p of the characters cls allows.
    char BestOf(Pos p, Cls cls) const {
        int best = -1;
        for (int k = 0; k < kClasses; ++k)
            if (Allows(cls, kAlphabet[k]) &&
                (best < 0 || cells_[p.line][p.column][k] > cells_[p.line][p.column][best]))
                best = k;
        return kAlphabet[best];
    }

    // The best other character the class allows at p.
    char Rival(Pos p) const {
        int best = -1;
        for (int k = 0; k < kClasses; ++k) {
            const char c = kAlphabet[k];
            if (c == At(p) || !Allows(ClassAt(p), c)) continue;
            if (best < 0 || cells_[p.line][p.column][k] > cells_[p.line][p.column][best]) best = k;
        }
        return best < 0 ? At(p) : kAlphabet[best];
    }
    // How far the character at p leads its rival (1 where the class allows no other).
    float Margin(Pos p) const {
        const char rival = Rival(p);
        return rival == At(p) ? 1.0f : Score(p, At(p)) - Score(p, rival);
    }

    // Whether a character the class allows, of the same value modulo 10,
    // scores within gap of the one at p.
    bool BlindRival(Pos p, float gap) const {
        const char c = At(p);
        for (int k = 0; k < kClasses; ++k) {
            const char a = kAlphabet[k];
            if (a == c || !Allows(ClassAt(p), a) || CharValue(a) % 10 != CharValue(c) % 10)
                continue;
            // Pairs that also look alike in OCR-B print need a wider margin.
            const bool alike = LookAlikeBlind(a, c);
            if (Score(p, a) > Score(p, c) - (alike ? 1.25f * gap : gap)) return true;
        }
        return false;
    }
    Cls ClassAt(Pos p) const { return classes_[p.line][p.column]; }
    const std::vector<std::string>& Lines() const { return lines_; }

    bool Agrees(const Check& c) const {
        int sum = 0;
        static constexpr int kWeights[3] = {7, 3, 1};
        for (size_t i = 0; i < c.data.size(); ++i)
            sum += CharValue(At(c.data[i])) * kWeights[i % 3];
        return sum % 10 == CharValue(At(c.digit));
    }

    // Makes a failing check agree by the one change of one or two characters,
    // each to a candidate of its class scored within the limits' gap of the
    // one chosen, whose loss of score is clearly the least. Nothing changes
    // when no such change exists or two are about as good.
    void Confirm(const Check& check, std::vector<MrzCorrection>& corrections) {
        if (Agrees(check)) return;
        std::vector<Pos> positions = check.data;
        positions.push_back(check.digit);
        struct Alt {
            size_t pos;
            char to;
            float loss;
        };
        std::vector<Alt> alts;
        for (size_t i = 0; i < positions.size(); ++i) {
            const Pos p = positions[i];
            const float have = Score(p, At(p));
            for (int k = 0; k < kClasses; ++k) {
                const char c = kAlphabet[k];
                const float loss = have - cells_[p.line][p.column][k];
                if (c != At(p) && Allows(ClassAt(p), c) && loss <= limits_.alternativeGap)
                    alts.push_back({i, c, std::max(0.0f, loss)});
            }
        }
        float best = 1e9f, second = 1e9f;
        std::vector<const Alt*> chosen;
        auto consider = [&](std::vector<const Alt*> change) {
            std::vector<char> was;
            float loss = 0;
            for (const Alt* a : change) {
                Pos p = positions[a->pos];
                was.push_back(At(p));
                lines_[p.line][p.column] = a->to;
                loss += a->loss;
            }
            const bool agrees = Agrees(check);
            for (size_t i = 0; i < change.size(); ++i) {
                Pos p = positions[change[i]->pos];
                lines_[p.line][p.column] = was[i];
            }
            if (!agrees) return;
            // A second change must pay for itself.
            loss += 0.05f * float(change.size() - 1);
            if (loss < best) {
                second = best;
                best = loss;
                chosen = std::move(change);
            } else if (loss < second) {
                second = loss;
            }
        };
        for (size_t i = 0; i < alts.size(); ++i) {
            consider({&alts[i]});
            for (size_t j = i + 1; j < alts.size(); ++j)
                if (alts[j].pos != alts[i].pos) consider({&alts[i], &alts[j]});
        }
        if (chosen.empty() || second - best < 0.04f) return;
        for (const Alt* a : chosen) {
            const Pos p = positions[a->pos];
            corrections.push_back({p.line, p.column, At(p), a->to, check.field});
            lines_[p.line][p.column] = a->to;
        }
    }

    // Whether no swap of some of positions for their rivals keeps check agreeing.
    bool OnlyAgreement(const Check& check, const std::vector<Pos>& positions) {
        const size_t n = positions.size();
        bool only = true;
        for (size_t mask = 1; mask < (size_t(1) << n) && only; ++mask) {
            std::vector<char> was(n);
            for (size_t i = 0; i < n; ++i) {
                was[i] = At(positions[i]);
                if (mask & (size_t(1) << i)) Set(positions[i], Rival(positions[i]));
            }
            only = !Agrees(check);
            for (size_t i = 0; i < n; ++i) Set(positions[i], was[i]);
        }
        return only;
    }

  private:
    // The best candidate that the class allows, unless a candidate outside it
    // is far better: that one stays, and the field fails its class.
    char Choose(const Scores& s, Cls cls) const {
        int best = 0, bestIn = -1;
        for (int k = 0; k < kClasses; ++k) {
            if (s[k] > s[best]) best = k;
            if (Allows(cls, kAlphabet[k]) && (bestIn < 0 || s[k] > s[bestIn])) bestIn = k;
        }
        if (s[best] - s[bestIn] > limits_.keepOutOfClass) return kAlphabet[best];
        return kAlphabet[bestIn];
    }

    const std::vector<std::vector<Scores>>& cells_;
    std::vector<std::vector<Cls>> classes_;
    const DecodeLimits& limits_;
    std::vector<std::string> lines_;
};

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

// The letter a digit is commonly read for in OCR-B print, or the digit a
// letter is, or 0.
char LookAlike(char c) {
    static constexpr std::string_view kPairs[] = {"0O", "1I", "2Z", "5S", "8B", "6G", "4A"};
    for (std::string_view pair : kPairs) {
        if (pair[0] == c) return pair[1];
        if (pair[1] == c) return pair[0];
    }
    return 0;
}

bool FitsClass(const Zone& zone, const std::vector<Pos>& positions) {
    return std::all_of(positions.begin(), positions.end(),
                       [&](Pos p) { return Allows(zone.ClassAt(p), zone.At(p)); });
}

}  // namespace

int ClassOf(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    if (c == '<') return 36;
    return -1;
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

char BlindLookAlike(char c) {
    static constexpr std::string_view kPairs[] = {"0U", "8S", "6G"};
    for (std::string_view p : kPairs) {
        if (p[0] == c) return p[1];
        if (p[1] == c) return p[0];
    }
    return 0;
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
    // Zones of two lines of 44 that are no visa's are passports'.
    if (format == "TD3") classes[0][0] = Cls::Passport;
    return classes;
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

// The known codes that one rival scoring within gap of the character read
// at one position of span spells, with that position.
std::vector<std::pair<Pos, std::string>> KnownCodesNear(const Zone& zone, Span s, float gap) {
    std::vector<std::pair<Pos, std::string>> out;
    const std::string code = CodeAt(zone, s);
    for (int i = 0; i < s.length; ++i) {
        const Pos q{s.line, s.start + i};
        for (int k = 0; k < kClasses; ++k) {
            const char a = kAlphabet[k];
            if (a == zone.At(q) || !Allows(zone.ClassAt(q), a)) continue;
            if (zone.Score(q, a) <= zone.Score(q, zone.At(q)) - gap) continue;
            std::string other = code;
            other[size_t(i)] = a;
            if (IsCountryCode(other)) out.emplace_back(q, other);
        }
    }
    return out;
}

// Whether the state code at p's field settles the doubt at p: the code read
// is a known one and no close rival of any of its characters (within the
// ambiguity margin) spells another known code. Fields without a check digit
// (issuing state, nationality) have only this to go on.
bool StateCodeSettles(const Zone& zone, const Layout& layout, Pos p, float ambiguity) {
    for (const FieldLayout& f : layout.fields) {
        const Span s = f.span;
        if (!IsStateField(f) || s.line != p.line || p.column < s.start ||
            p.column >= s.start + s.length)
            continue;
        return IsCountryCode(CodeAt(zone, s)) && KnownCodesNear(zone, s, ambiguity).empty();
    }
    return false;
}

// Whether an issuing state or nationality holds a code outside the list: a
// misread there (UTD for UTO) is in no check digit, so such a zone stays in
// doubt.
bool UnknownStateCode(const Zone& zone, const Layout& layout) {
    return std::any_of(layout.fields.begin(), layout.fields.end(), [&](const FieldLayout& f) {
        return IsStateField(f) && !IsCountryCode(CodeAt(zone, f.span));
    });
}

// An issuing state or nationality read as no known code takes the one known
// code that a single rival about as good as the character read (within tie)
// spells: the field's class is the list of codes, as a name's is letters.
void ChooseStateCodes(Zone& zone, const Layout& layout, float tie) {
    for (const FieldLayout& f : layout.fields) {
        if (!IsStateField(f) || IsCountryCode(CodeAt(zone, f.span))) continue;
        const auto near = KnownCodesNear(zone, f.span, tie);
        if (near.size() != 1) continue;
        const auto& [where, code] = near.front();
        zone.Set(where, code[size_t(where.column - f.span.start)]);
    }
}

void Decode(const std::vector<std::vector<Scores>>& cells, const DecodeLimits& limits,
            MrzResult& out) {
    out.found = false;
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
    Zone zone(cells, PositionClasses(format), limits);
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
        if (2 * outside <= printed) continue;
        const Cls other = f.cls == Cls::Letter ? Cls::Digit : Cls::Letter;
        for (Pos p : positions) zone.Set(p, zone.BestOf(p, other));
    }
    ChooseStateCodes(zone, layout, limits.stateTie);
    // A digit and a letter read alike in a field of both (0 and O, 1 and I,
    // 8 and B) take the kind most of the field's clear characters are.
    // A field whose check digit already agrees keeps its reading.
    for (const FieldLayout& f : layout.fields) {
        if (f.cls != Cls::Alnum) continue;
        const auto positions = Positions(f.span);
        if (f.checkLine >= 0 && zone.Agrees({"", positions, {f.checkLine, f.checkColumn}}))
            continue;
        int digits = 0, letters = 0;
        for (Pos p : positions) {
            if (zone.Margin(p) < limits.ambiguity) continue;
            digits += ClassOf(zone.At(p)) < 10;
            letters += ClassOf(zone.At(p)) >= 10 && zone.At(p) != '<';
        }
        for (Pos p : positions) {
            const char rival = LookAlike(zone.At(p));
            if (rival == 0 || zone.Score(p, zone.At(p)) - zone.Score(p, rival) >= limits.lookAlike)
                continue;
            const bool digitRival = ClassOf(rival) < 10;
            if ((digitRival && digits > letters) || (!digitRival && letters > digits))
                zone.Set(p, rival);
        }
    }
    out.found = true;
    out.format = format;
    out.corrections.clear();

    // The checks of the fields, then the composite one over the corrected
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
        zone.Confirm(c, out.corrections);
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
        if (!zone.Agrees(composite)) {
            Check open = composite;
            std::erase_if(open.data, [&](Pos p) {
                return std::find(covered.begin(), covered.end(), p) != covered.end();
            });
            zone.Confirm(open, out.corrections);
        }
    }

    out.fields.clear();
    bool valid = true;
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
        valid = valid && field.checkValid && field.classValid;
        out.fields.push_back(field);
        if (field.name == "name") {
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
        valid = valid && c.checkValid;
        out.fields.push_back(c);
    }

    out.lines = zone.Lines();
    out.characters.assign(cells.size(), {});
    float lowest = 1;
    std::vector<float> lineMeans(cells.size(), 0);
    for (size_t l = 0; l < cells.size(); ++l) {
        for (size_t c = 0; c < cells[l].size(); ++c) {
            const Scores& s = cells[l][c];
            MrzCharacter ch;
            ch.value = out.lines[l][c];
            ch.confidence = s[ClassOf(ch.value)];
            std::array<int, kClasses> order;
            for (int k = 0; k < kClasses; ++k) order[k] = k;
            std::partial_sort(order.begin(), order.begin() + 3, order.end(),
                              [&](int a, int b) { return s[a] > s[b]; });
            for (int k = 0; k < 3; ++k) ch.candidates.push_back({kAlphabet[order[k]], s[order[k]]});
            lowest = std::min(lowest, ch.confidence);
            lineMeans[l] += ch.confidence / float(cells[l].size());
            out.characters[l].push_back(std::move(ch));
        }
    }
    // A character with a rival about as good leaves the zone in doubt, unless
    // a check digit that agrees covers it and no swap of the doubtful
    // characters it covers for their rivals would agree as well.
    std::vector<Check> all;
    for (size_t i = 0; i < checks.size(); ++i)
        if (layout.fields[i].checkLine >= 0) all.push_back(checks[i]);
    if (layout.compositeLine >= 0) all.push_back(composite);
    // A character is unsure when a rival scores about as well, or when its
    // digit-or-letter look-alike (0 and O, 8 and B) comes close: two such
    // swaps can cancel in a check digit's sum.
    auto unsure = [&](Pos q) {
        const char rival = zone.Rival(q);
        return zone.Margin(q) < limits.ambiguity ||
               (rival == LookAlike(zone.At(q)) && zone.Margin(q) < limits.lookAlikeDoubt);
    };
    bool doubt = UnknownStateCode(zone, layout);
    // The lines of a zone are printed alike: one that reads clearly worse
    // than the others was cut wrong, and its names no check digit covers.
    const auto [worst, bestLine] = std::minmax_element(lineMeans.begin(), lineMeans.end());
    doubt = doubt || *bestLine - *worst > limits.lineGap;
    for (size_t l = 0; l < cells.size() && !doubt; ++l)
        for (size_t c = 0; c < cells[l].size() && !doubt; ++c) {
            const Pos p{int(l), int(c)};
            // A class that overrode a clearly better reading leaves doubt.
            const Scores& sc = cells[l][c];
            if (*std::max_element(sc.begin(), sc.end()) - zone.Score(p, zone.At(p)) >
                limits.classGap) {
                doubt = true;
                break;
            }
            // A check digit cannot tell characters whose values differ by 10,
            // 20 or 30 (0, A, K, U; 8, I, S; ...): such a rival close to a
            // checked character leaves doubt whatever the checks say.
            const bool checked = std::any_of(all.begin(), all.end(), [&](const Check& k) {
                return k.digit == p || std::find(k.data.begin(), k.data.end(), p) != k.data.end();
            });
            if (checked && zone.BlindRival(p, limits.blindGap)) {
                doubt = true;
                break;
            }
            if (!unsure(p)) continue;
            bool settled = false;
            for (const Check& k : all) {
                std::vector<Pos> span = k.data;
                span.push_back(k.digit);
                if (std::find(span.begin(), span.end(), p) == span.end() || !zone.Agrees(k))
                    continue;
                std::vector<Pos> doubtful;
                for (Pos q : span)
                    if (unsure(q)) doubtful.push_back(q);
                settled = doubtful.size() <= 12 && zone.OnlyAgreement(k, doubtful);
                if (settled) break;
            }
            if (!settled) settled = StateCodeSettles(zone, layout, p, limits.ambiguity);
            doubt = !settled;
        }
    out.valid = valid && !doubt && lowest >= limits.minConfidence;
}

MrzResult DecodeText(const std::vector<std::string>& lines, const DecodeLimits& limits) {
    // Look-alikes of OCR-B print score close to the character read, so that
    // the classes and check digits may choose them.
    static constexpr std::string_view kConfusable[] = {"0O", "OD", "OQ", "1I", "2Z",
                                                       "4A", "5S", "6G", "7T", "8B"};
    std::vector<std::vector<Scores>> cells;
    for (const std::string& line : lines) {
        std::vector<Scores> row;
        for (char c : line) {
            Scores s{};
            if (ClassOf(c) < 0) {
                s.fill(0.5f);
            } else {
                for (std::string_view g : kConfusable)
                    if (g.find(c) != std::string_view::npos)
                        for (char a : g) s[ClassOf(a)] = 0.95f;
                s[ClassOf(c)] = 1.0f;
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
