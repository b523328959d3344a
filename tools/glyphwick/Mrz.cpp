#include "Mrz.h"

#include <algorithm>
#include <array>
#include <utility>

namespace gwtool {

namespace {

// What a position of the zone may hold.
enum class Cls { Letter, Digit, Alnum, Check, Sex };

struct Span {
    int line;
    int start;
    int length;
};

struct FieldSpec {
    const char* name;
    Span span;
    Cls cls;
    int checkLine = -1;  // the check digit's line and column, -1 without one
    int checkColumn = -1;
};

struct Layout {
    MrzFormat format;
    int lineCount;
    int length;
    std::vector<FieldSpec> fields;
    std::vector<Span> composite;  // spans the composite check digit covers
    int compositeLine = -1;
    int compositeColumn = -1;
};

// Passports, TD2 cards and visas share their first 28 columns: the names on
// the first line, the number, nationality, dates and sex on the second. They
// differ in the line length, the last field and the composite check digit,
// which stands in the last column where there is one.
Layout TwoLineLayout(MrzFormat format, int length, FieldSpec last, std::vector<Span> composite) {
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
const Layout& LayoutOf(MrzFormat format) {
    static const Layout td1{MrzFormat::TD1,
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
    static const Layout td2 =
        TwoLineLayout(MrzFormat::TD2, 36, {"optional_data", {1, 28, 7}, Cls::Alnum},
                      {{1, 0, 10}, {1, 13, 7}, {1, 21, 14}});
    static const Layout td3 =
        TwoLineLayout(MrzFormat::TD3, 44, {"personal_number", {1, 28, 14}, Cls::Alnum, 1, 42},
                      {{1, 0, 10}, {1, 13, 7}, {1, 21, 22}});
    static const Layout mrva =
        TwoLineLayout(MrzFormat::MRVA, 44, {"optional_data", {1, 28, 16}, Cls::Alnum}, {});
    static const Layout mrvb =
        TwoLineLayout(MrzFormat::MRVB, 36, {"optional_data", {1, 28, 8}, Cls::Alnum}, {});
    switch (format) {
        case MrzFormat::TD1:
            return td1;
        case MrzFormat::TD2:
            return td2;
        case MrzFormat::TD3:
            return td3;
        case MrzFormat::MRVA:
            return mrva;
        case MrzFormat::MRVB:
            return mrvb;
    }
    return td3;
}

bool IsLetter(char c) {
    return c >= 'A' && c <= 'Z';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool Allows(Cls cls, char c) {
    switch (cls) {
        case Cls::Letter:
            return IsLetter(c) || c == '<';
        case Cls::Digit:
            return IsDigit(c) || c == '<';
        case Cls::Alnum:
            return IsLetter(c) || IsDigit(c) || c == '<';
        case Cls::Check:
            return IsDigit(c) || c == '<';
        case Cls::Sex:
            return c == 'M' || c == 'F' || c == 'X' || c == '<';
    }
    return false;
}

// Characters that OCR-B print is commonly read as instead of each other.
constexpr std::array<std::string_view, 8> kConfusable{"0ODQ", "1IL", "2Z", "4A",
                                                      "5S",   "6G",  "7T", "8B"};

// The characters a position of class cls might really hold when c was read
// there: for an unread "?" everything the class allows except the filler,
// otherwise the look-alikes of c that the class allows.
std::string Alternatives(Cls cls, char c) {
    std::string out;
    if (c == '?') {
        for (char a = '0'; a <= '9'; ++a)
            if (Allows(cls, a)) out += a;
        for (char a = 'A'; a <= 'Z'; ++a)
            if (Allows(cls, a)) out += a;
        return out;
    }
    for (std::string_view group : kConfusable) {
        if (group.find(c) == std::string_view::npos) continue;
        for (char a : group)
            if (a != c && Allows(cls, a)) out += a;
    }
    return out;
}

struct Pos {
    int line;
    int column;
};

// A check over some positions of the zone, with its digit at one position.
struct Check {
    std::string field;
    std::vector<Pos> data;
    Pos digit;
};

class Zone {
  public:
    Zone(std::vector<std::string> lines, const Layout& layout,
         const std::vector<std::vector<int>>& scores)
        : lines_(std::move(lines)), scores_(scores) {
        classes_.assign(lines_.size(), std::vector<Cls>(layout.length, Cls::Alnum));
        for (const FieldSpec& f : layout.fields) {
            for (int i = 0; i < f.span.length; ++i) classes_[f.span.line][f.span.start + i] = f.cls;
            if (f.checkLine >= 0) classes_[f.checkLine][f.checkColumn] = Cls::Check;
        }
        if (layout.compositeLine >= 0)
            classes_[layout.compositeLine][layout.compositeColumn] = Cls::Check;
    }

    char At(Pos p) const { return lines_[p.line][p.column]; }
    const std::vector<std::string>& Lines() const { return lines_; }

    bool Agrees(const Check& c) const {
        std::string text;
        for (Pos p : c.data) text += At(p);
        const int want = MrzCheckDigit(text);
        const int have = MrzCharValue(At(c.digit));
        return want >= 0 && have >= 0 && want == have;
    }

    // Makes a failing check agree by changing one character, when exactly one
    // change that the positions' classes allow does it. Changes that replace an
    // unread character or one its class forbids are preferred, then the change
    // of the character with the clearly lowest match score.
    bool Correct(const Check& c, std::vector<MrzCorrection>& corrections) {
        if (Agrees(c)) return true;
        std::vector<Pos> positions = c.data;
        positions.push_back(c.digit);
        struct Candidate {
            Pos pos;
            char to;
            bool preferred;
        };
        std::vector<Candidate> found;
        for (Pos p : positions) {
            const char was = At(p);
            const Cls cls = classes_[p.line][p.column];
            const bool preferred = was == '?' || !Allows(cls, was);
            for (char alt : Alternatives(cls, was)) {
                lines_[p.line][p.column] = alt;
                if (Agrees(c)) found.push_back({p, alt, preferred});
            }
            lines_[p.line][p.column] = was;
        }
        const auto preferredCount = std::count_if(found.begin(), found.end(),
                                                  [](const Candidate& k) { return k.preferred; });
        if (preferredCount > 0) {
            std::erase_if(found, [](const Candidate& k) { return !k.preferred; });
        }
        const Candidate* chosen = nullptr;
        if (found.size() == 1) {
            chosen = &found[0];
        } else if (found.size() > 1 && HasScores()) {
            auto score = [&](const Candidate& k) { return scores_[k.pos.line][k.pos.column]; };
            const auto low = std::min_element(
                found.begin(), found.end(),
                [&](const Candidate& a, const Candidate& b) { return score(a) < score(b); });
            const bool clear = std::all_of(found.begin(), found.end(), [&](const Candidate& k) {
                return &k == &*low || score(k) > score(*low);
            });
            if (clear) chosen = &*low;
        }
        if (chosen == nullptr) return false;
        corrections.push_back(
            {chosen->pos.line, chosen->pos.column, At(chosen->pos), chosen->to, c.field});
        lines_[chosen->pos.line][chosen->pos.column] = chosen->to;
        return true;
    }

  private:
    bool HasScores() const {
        if (scores_.size() != lines_.size()) return false;
        for (size_t i = 0; i < lines_.size(); ++i)
            if (scores_[i].size() != lines_[i].size()) return false;
        return true;
    }

    std::vector<std::string> lines_;
    const std::vector<std::vector<int>>& scores_;
    std::vector<std::vector<Cls>> classes_;
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

std::string Raw(const Zone& zone, const std::vector<Pos>& positions) {
    std::string s;
    for (Pos p : positions) s += zone.At(p);
    return s;
}

// Long document numbers (TD1 and TD2): when the number fills its nine places
// and a filler stands where its check digit belongs, the number continues in
// the optional data up to the next filler, and its last character there is
// the check digit.
bool ExtendedNumber(const Zone& zone, const FieldSpec& number, Span optional, Check& check,
                    int& optionalUsed) {
    if (zone.At({number.checkLine, number.checkColumn}) != '<') return false;
    std::vector<Pos> rest;
    for (Pos p : Positions(optional)) {
        if (zone.At(p) == '<') break;
        rest.push_back(p);
    }
    if (rest.size() < 2) return false;
    check.digit = rest.back();
    rest.pop_back();
    check.data.insert(check.data.end(), rest.begin(), rest.end());
    optionalUsed = static_cast<int>(rest.size()) + 2;  // the digit and its filler
    return true;
}

}  // namespace

const char* MrzFormatName(MrzFormat format) {
    switch (format) {
        case MrzFormat::TD1:
            return "TD1";
        case MrzFormat::TD2:
            return "TD2";
        case MrzFormat::TD3:
            return "TD3";
        case MrzFormat::MRVA:
            return "MRV-A";
        case MrzFormat::MRVB:
            return "MRV-B";
    }
    return "?";
}

std::optional<MrzFormat> MrzFormatOf(size_t lineCount, size_t length, char documentCode) {
    if (lineCount == 3 && length == 30) return MrzFormat::TD1;
    if (lineCount != 2) return std::nullopt;
    if (length == 36) return documentCode == 'V' ? MrzFormat::MRVB : MrzFormat::TD2;
    if (length == 44) return documentCode == 'V' ? MrzFormat::MRVA : MrzFormat::TD3;
    return std::nullopt;
}

int MrzCharValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (IsLetter(c)) return c - 'A' + 10;
    if (c == '<') return 0;
    return -1;
}

int MrzCheckDigit(std::string_view text) {
    static constexpr int kWeights[3] = {7, 3, 1};
    int sum = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const int v = MrzCharValue(text[i]);
        if (v < 0) return -1;
        sum += v * kWeights[i % 3];
    }
    return sum % 10;
}

std::optional<MrzReading> ParseMrz(const std::vector<std::string>& lines,
                                   const std::vector<std::vector<int>>& scores) {
    if (lines.empty() || lines[0].empty()) return std::nullopt;
    for (const std::string& l : lines)
        if (l.size() != lines[0].size()) return std::nullopt;
    const auto format = MrzFormatOf(lines.size(), lines[0].size(), lines[0][0]);
    if (!format) return std::nullopt;
    const Layout& layout = LayoutOf(*format);

    MrzReading out;
    out.format = *format;
    Zone zone(lines, layout, scores);

    // The checks of the fields, then the composite one, which covers the
    // corrected fields.
    std::vector<Check> checks(layout.fields.size());
    int optionalUsed = 0;      // characters of the optional data taken by a long number
    size_t optionalField = 0;  // the field they are taken from
    for (size_t i = 0; i < layout.fields.size(); ++i) {
        const FieldSpec& f = layout.fields[i];
        if (f.checkLine < 0) continue;
        Check& c = checks[i];
        c.field = f.name;
        c.data = Positions(f.span);
        c.digit = {f.checkLine, f.checkColumn};
        if (std::string_view(f.name) == "document_number" &&
            (*format == MrzFormat::TD1 || *format == MrzFormat::TD2)) {
            optionalField = i + (*format == MrzFormat::TD1 ? 1 : 5);
            ExtendedNumber(zone, f, layout.fields[optionalField].span, c, optionalUsed);
        }
        zone.Correct(c, out.corrections);
    }
    bool compositeValid = true;
    Check composite;
    if (layout.compositeLine >= 0) {
        composite.field = "composite";
        for (Span s : layout.composite) {
            auto p = Positions(s);
            composite.data.insert(composite.data.end(), p.begin(), p.end());
        }
        composite.digit = {layout.compositeLine, layout.compositeColumn};
        if (!zone.Agrees(composite)) {
            // Only positions that no field check covers may change now: a
            // change there would have to make that check agree as well.
            Check open = composite;
            std::erase_if(open.data, [&](Pos p) {
                for (size_t i = 0; i < checks.size(); ++i) {
                    if (layout.fields[i].checkLine < 0) continue;
                    for (Pos q : checks[i].data)
                        if (q.line == p.line && q.column == p.column) return true;
                    if (checks[i].digit.line == p.line && checks[i].digit.column == p.column)
                        return true;
                }
                return false;
            });
            zone.Correct(open, out.corrections);
        }
        compositeValid = zone.Agrees(composite);
    }

    bool unread = false;
    for (const std::string& l : zone.Lines()) unread = unread || l.find('?') != std::string::npos;

    for (size_t i = 0; i < layout.fields.size(); ++i) {
        const FieldSpec& f = layout.fields[i];
        MrzField field;
        field.name = f.name;
        std::vector<Pos> positions = Positions(f.span);
        if (f.checkLine >= 0) {
            positions = checks[i].data;
            field.checked = true;
            field.check = zone.At(checks[i].digit);
            field.valid = zone.Agrees(checks[i]);
        } else if (optionalUsed > 0 && i == optionalField) {
            positions.erase(positions.begin(),
                            positions.begin() + std::min<size_t>(optionalUsed, positions.size()));
        }
        field.raw = Raw(zone, positions);
        field.value = Cleaned(field.raw);
        out.fields.push_back(field);
        if (field.name == "name") {
            // The primary identifier ends at the first double filler.
            const auto split = field.raw.find("<<");
            MrzField surname{"surname", field.raw.substr(0, split), {}, false, 0, true};
            MrzField given{"given_names",
                           split == std::string::npos ? "" : field.raw.substr(split + 2),
                           {},
                           false,
                           0,
                           true};
            surname.value = Cleaned(surname.raw);
            given.value = Cleaned(given.raw);
            out.fields.push_back(surname);
            out.fields.push_back(given);
        }
    }
    if (layout.compositeLine >= 0) {
        MrzField c{"composite", Raw(zone, composite.data), {},
                   true,        zone.At(composite.digit),  compositeValid};
        out.fields.push_back(c);
    }
    out.lines = zone.Lines();
    out.valid = !unread && std::all_of(out.fields.begin(), out.fields.end(),
                                       [](const MrzField& f) { return f.valid; });
    return out;
}

std::vector<size_t> FindMrzLines(const std::vector<TextLine>& lines) {
    std::vector<size_t> order;
    for (size_t i = 0; i < lines.size(); ++i) {
        const size_t n = lines[i].text.size();
        if (n == 30 || n == 36 || n == 44) order.push_back(i);
    }
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return lines[a].top < lines[b].top; });

    std::vector<size_t> best;
    int bestBottom = -1;
    for (size_t i = 0; i < order.size(); ++i) {
        const TextLine& first = lines[order[i]];
        const size_t length = first.text.size();
        const size_t need = length == 30 ? 3 : 2;
        if (i + need > order.size()) break;
        const int pitch = std::max(1, (first.right - first.left) / static_cast<int>(length - 1));
        bool stacked = true;
        for (size_t k = 1; k < need && stacked; ++k) {
            const TextLine& above = lines[order[i + k - 1]];
            const TextLine& line = lines[order[i + k]];
            const int height = std::max(1, above.bottom - above.top + 1);
            stacked = line.text.size() == length && line.top > above.top + height / 2 &&
                      line.top - above.bottom < 2 * height &&
                      std::abs(line.left - first.left) <= 2 * pitch;
        }
        if (!stacked) continue;
        const int bottom = lines[order[i + need - 1]].bottom;
        if (bottom > bestBottom) {
            bestBottom = bottom;
            best.assign(order.begin() + i, order.begin() + i + need);
        }
    }
    return best;
}

}  // namespace gwtool
