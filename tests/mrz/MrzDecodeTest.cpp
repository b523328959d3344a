// The zone's grammar on its own: check digits, formats and fields; fields
// decided as a whole with their check digits, so that look-alike runs are
// settled (or found unsettled) by the sum; the classes and the state codes
// that choose among candidates; the one probability threshold of a valid
// zone; and the reader's early test of a date's check.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>

#include "GlyphwickMrz.h"
#include "mrz/MrzGrammar.h"

namespace gw::mrz {
namespace {

const std::vector<std::string> kTd3{"P<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<",
                                    "L898902C36UTO7408122F1204159ZE184226B<<<<<10"};

const MrzField& Field(const MrzResult& r, const std::string& name) {
    for (const MrzField& f : r.fields)
        if (f.name == name) return f;
    static const MrzField none{};
    ADD_FAILURE() << "no field " << name;
    return none;
}

// A cell with the given probabilities, the rest shared by the other characters.
Scores Cell(const std::map<char, float>& given) {
    Scores s{};
    float used = 0;
    for (const auto& [c, p] : given) s[size_t(ClassOf(c))] = p, used += p;
    const float rest = (1.0f - used) / float(kClasses - int(given.size()));
    for (int k = 0; k < kClasses; ++k)
        if (!given.count(kAlphabet[k])) s[size_t(k)] = rest;
    return s;
}

// Probabilities that read text exactly, each character with probability p.
std::vector<std::vector<Scores>> Exact(const std::vector<std::string>& lines, float p = 0.9995f) {
    std::vector<std::vector<Scores>> cells;
    for (const std::string& l : lines) {
        cells.emplace_back();
        for (char c : l) cells.back().push_back(Cell({{c, p}}));
    }
    return cells;
}

// The probability of the cells of a clean print (every other cell of a zone
// the decoding settles one place of).
constexpr float kSure = 0.99999f;

MrzResult Decoded(const std::vector<std::vector<Scores>>& cells) {
    MrzResult r;
    Decode(cells, {}, r);
    return r;
}

// The one reason the report gives why a zone decoded from cells at limits is
// not valid; "" where it is valid or gives more reasons than one.
std::string OnlyReason(const std::vector<std::vector<Scores>>& cells,
                       const DecodeLimits& limits = {}) {
    MrzResult r;
    Decode(cells, limits, r);
    MrzReport(r);
    return !r.valid && r.reasons.size() == 1 ? r.reasons[0] : "";
}

// A TD3 second line whose number is number, with its check digits made to hold.
std::string SecondLine(const std::string& number) {
    std::string line = number;
    line += char('0' + MrzCheckDigit(number));
    line += "UTO7408122F1204159ZE184226B<<<<<1";
    line +=
        char('0' + MrzCheckDigit(line.substr(0, 10) + line.substr(13, 7) + line.substr(21, 22)));
    return line;
}

TEST(MrzDecode, CheckDigitsFormatsAndFields) {
    EXPECT_EQ(MrzCheckDigit("L898902C3"), 6);
    EXPECT_EQ(MrzCheckDigit("ZE184226B<<<<<"), 1);
    EXPECT_EQ(MrzCheckDigit("1111"), 8);  // weights 7, 3, 1 repeat
    EXPECT_EQ(MrzCheckDigit("12?4"), -1);
    EXPECT_EQ(FormatOf(3, 30, 'I'), "TD1");
    EXPECT_EQ(FormatOf(2, 36, 'V'), "MRV-B");
    EXPECT_EQ(FormatOf(2, 44, 'V'), "MRV-A");
    EXPECT_EQ(FormatOf(2, 30, 'I'), "");
    // The cells a probe reads to tell a zone by its dates: both dates and
    // their check digits, in the line and columns of each shape.
    auto dateText = [](const std::vector<std::string>& lines) {
        std::string out;
        for (const auto& [line, column] : DateCells(lines.size(), lines[0].size()))
            out += lines[size_t(line)][size_t(column)];
        return out;
    };
    EXPECT_EQ(dateText(kTd3), "74081221204159");
    EXPECT_EQ(dateText({"I<UTOD23145890<7349<<<<<<<<<<<", "3407127M9507122UTO<<<<<<<<<<<2",
                        "STEVENSON<<PETER<JOHN<<<<<<<<<"}),
              "34071279507122");
    EXPECT_EQ(
        dateText({"I<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<", "D231458907UTO7408122F1204159<<<<<<<6"}),
        "74081221204159");
    EXPECT_TRUE(DateCells(2, 30).empty());

    const MrzResult td3 = DecodeText(kTd3);
    EXPECT_TRUE(td3.valid);
    EXPECT_EQ(td3.format, "TD3");
    EXPECT_EQ(Field(td3, "surname").value, "ERIKSSON");
    EXPECT_EQ(Field(td3, "given_names").value, "ANNA MARIA");
    EXPECT_EQ(Field(td3, "document_number").check, '6');
    EXPECT_EQ(Field(td3, "composite").check, '0');
    EXPECT_TRUE(td3.corrections.empty());
    // A TD1 card whose number runs on into the optional data (ICAO's example).
    const MrzResult td1 =
        DecodeText({"I<UTOD23145890<7349<<<<<<<<<<<", "3407127M9507122UTO<<<<<<<<<<<2",
                    "STEVENSON<<PETER<JOHN<<<<<<<<<"});
    EXPECT_TRUE(td1.valid);
    EXPECT_EQ(Field(td1, "document_number").raw, "D23145890734");
    EXPECT_EQ(Field(td1, "document_number").check, '9');
    // A wrongly printed check digit fails its field and the whole, and is
    // not corrected: no other reading is anywhere near as probable.
    const MrzResult bad = DecodeText({kTd3[0], "L898902C36UTO7408122F1204158ZE184226B<<<<<10"});
    EXPECT_FALSE(bad.valid);
    EXPECT_FALSE(Field(bad, "expiry_date").checkValid);
    EXPECT_TRUE(Field(bad, "birth_date").checkValid);
    EXPECT_TRUE(bad.corrections.empty());
    EXPECT_EQ(bad.lines[1], "L898902C36UTO7408122F1204158ZE184226B<<<<<10");
    EXPECT_FALSE(DecodeText({kTd3[0], kTd3[1].substr(0, 43)}).found);
}

TEST(MrzDecode, FieldsAreDecidedWithTheirCheckDigits) {
    // A run of zeros read as a mix of 0 and O. One O at weight 1 alone would
    // change the sum by 24: the check decides for the zeros, and the change
    // is reported against the best reading of each place.
    const std::string line = SecondLine("L8900001C");
    auto cells = Exact({kTd3[0], line}, kSure);
    cells[1][5] = Cell({{'O', 0.6f}, {'0', 0.38f}});
    MrzResult r = Decoded(cells);
    EXPECT_EQ(r.lines[1], line);
    ASSERT_EQ(r.corrections.size(), 1u);
    EXPECT_EQ(r.corrections[0].column, 5);
    EXPECT_EQ(r.corrections[0].from, 'O');
    EXPECT_EQ(r.corrections[0].to, '0');
    EXPECT_EQ(r.corrections[0].field, "document_number");
    EXPECT_TRUE(r.valid);
    EXPECT_GT(r.characters[1][5].confidence, MrzLimits::kSettledMinProbability);
    // Where another place of the number keeps a trace of a character that
    // would make the O hold too (a 5 for the 9, at weight 1 as well), the
    // same place is settled above a cell's threshold, below what a settled
    // place must reach: not valid, and the place is reported as sure as its
    // cell was of the 0, not as the sums made it.
    cells = Exact({kTd3[0], line}, kSure);
    cells[1][2] = Cell({{'9', 0.9988f}, {'5', 0.001f}});
    cells[1][5] = Cell({{'O', 0.6f}, {'0', 0.38f}});
    r = Decoded(cells);
    EXPECT_EQ(r.lines[1], line);
    EXPECT_NEAR(r.characters[1][5].confidence, 0.38f, 0.005f);
    EXPECT_FALSE(r.valid);
    cells[1][5] = Exact({line}, 0.9995f)[0][5];
    EXPECT_TRUE(Decoded(cells).valid);

    // Two O for zeros at weights 7 and 3 (columns 3 and 4) add 24 x 10 = 240:
    // the check holds either way. Each place leans to O, so the best reading
    // keeps them, and the zeros, about as probable, leave the field
    // ambiguous: not valid, whatever the check says.
    cells = Exact({kTd3[0], line});
    cells[1][3] = Cell({{'O', 0.55f}, {'0', 0.43f}});
    cells[1][4] = Cell({{'O', 0.55f}, {'0', 0.43f}});
    r = Decoded(cells);
    EXPECT_EQ(r.lines[1].substr(3, 2), "OO");
    EXPECT_TRUE(Field(r, "document_number").checkValid);
    EXPECT_FALSE(r.valid);
    // The same two places leaning clearly to 0: valid.
    cells[1][3] = Cell({{'0', 0.9995f}, {'O', 0.0004f}});
    cells[1][4] = Cell({{'0', 0.9995f}, {'O', 0.0004f}});
    r = Decoded(cells);
    EXPECT_EQ(r.lines[1], line);
    EXPECT_TRUE(r.valid);
    // One leaning to 0 at 0.65, the other sure of 0 at 0.9995 (a run of O
    // printed in one faint ink reads so): neither the number's check nor the
    // composite tells, and the cells' product decides for the zeros at about
    // 0.9998. A decision of the sums must reach one wrong in 10,000 itself;
    // short of it, the place is reported at its cell's 0.65.
    cells = Exact({kTd3[0], line}, kSure);
    cells[1][3] = Cell({{'0', 0.65f}, {'O', 0.345f}});
    cells[1][4] = Cell({{'0', 0.9995f}, {'O', 0.0004f}});
    r = Decoded(cells);
    EXPECT_EQ(r.lines[1], line);
    EXPECT_NEAR(r.characters[1][3].confidence, 0.65f, 0.005f);
    EXPECT_FALSE(r.valid);

    // Three places at weights 7, 1, 7 (columns 3, 5, 6): O for 0 at all three
    // adds 24 x 15 = 360, again no change to the sum. Read as O at 3 and 6
    // and 0 at 5 the check fails; of the readings that hold, all three zeros
    // and all three O are equally near, so the field stays in doubt.
    const std::string run = SecondLine("L8900000C");
    cells = Exact({kTd3[0], run});
    cells[1][3] = Cell({{'O', 0.5f}, {'0', 0.48f}});
    cells[1][5] = Cell({{'0', 0.5f}, {'O', 0.48f}});
    cells[1][6] = Cell({{'O', 0.5f}, {'0', 0.48f}});
    r = Decoded(cells);
    EXPECT_TRUE(Field(r, "document_number").checkValid);
    EXPECT_FALSE(r.valid);

    // Two unsure places in one field (cells cut out of step) whose rivals
    // each break the sum: the check settles both, but one digit of evidence
    // does not vouch for two guesses.
    cells = Exact({kTd3[0], line});
    cells[1][3] = Cell({{'0', 0.6f}, {'D', 0.399f}});
    cells[1][6] = Cell({{'0', 0.6f}, {'8', 0.399f}});
    r = Decoded(cells);
    EXPECT_EQ(r.lines[1], line);
    EXPECT_NEAR(r.characters[1][3].confidence, 0.6f, 0.005f);
    EXPECT_NEAR(r.characters[1][6].confidence, 0.6f, 0.005f);
    EXPECT_FALSE(r.valid);
    // A check settles a place between two readings, not among many: a zero
    // its cell read third (after D and B) is left unsure, though the check
    // picks it.
    cells = Exact({kTd3[0], line});
    cells[1][3] = Cell({{'D', 0.4f}, {'B', 0.3f}, {'0', 0.28f}});
    r = Decoded(cells);
    EXPECT_EQ(r.lines[1], line);
    EXPECT_FALSE(r.valid);
    // One unsure place in the number and one in the birth date, each settled
    // by its own check: the composite, over both, does not vouch for two.
    cells = Exact({kTd3[0], line});
    cells[1][3] = Cell({{'0', 0.6f}, {'D', 0.399f}});
    cells[1][16] = Cell({{'8', 0.6f}, {'3', 0.399f}});
    r = Decoded(cells);
    EXPECT_EQ(r.lines[1], line);
    EXPECT_TRUE(Field(r, "document_number").checkValid && Field(r, "birth_date").checkValid);
    EXPECT_FALSE(r.valid);

    // An unreadable date digit is the one digit the check allows; the blind
    // spot of the sum (U for 0 adds 30) is no candidate in a date.
    cells = Exact(kTd3);
    cells[1][26].fill(1.0f / kClasses);
    r = Decoded(cells);
    EXPECT_EQ(r.lines[1], kTd3[1]);
    ASSERT_EQ(r.corrections.size(), 1u);
    EXPECT_EQ(r.corrections[0].field, "expiry_date");
    // In the number, a U about as probable as a 0 is such a blind spot.
    cells = Exact({kTd3[0], line});
    cells[1][4] = Cell({{'0', 0.6f}, {'U', 0.38f}});
    r = Decoded(cells);
    EXPECT_EQ(r.lines[1], line);
    EXPECT_TRUE(Field(r, "document_number").checkValid);
    EXPECT_FALSE(r.valid);
}

TEST(MrzDecode, ClassesAndStateCodesChoose) {
    // A digit read in a name becomes its letter: names hold no digits.
    auto cells = Exact(kTd3);
    cells[0][11] = Cell({{'0', 0.6f}, {'O', 0.38f}});
    MrzResult r = Decoded(cells);
    EXPECT_EQ(r.lines[0], kTd3[0]);
    // The cells dump measures each cell as the decoder takes it at its place
    // (ReadAt), the quantity the threshold is asked of: the O, with the 0's
    // share set aside.
    const auto [inName, p] = ReadAt(cells[0][11], Cls::Name);
    EXPECT_EQ(inName, 'O');
    EXPECT_FLOAT_EQ(r.characters[0][11].confidence, p);
    EXPECT_NEAR(p, 0.38f / 0.4f, 1e-3f);
    EXPECT_EQ(ReadAt(cells[0][11], Cls::Digit).first, '0');
    // A name's I whose cell read 1 as well is sure of I (a name holds no
    // 1); one whose cell read 3 as well is unsure whether it is a letter.
    cells = Exact(kTd3);
    cells[0][7] = Cell({{'I', 0.82f}, {'1', 0.1795f}});
    EXPECT_TRUE(Decoded(cells).valid);
    cells[0][7] = Cell({{'I', 0.8f}, {'3', 0.18f}});
    r = Decoded(cells);
    EXPECT_EQ(r.lines[0], kTd3[0]);
    EXPECT_FALSE(r.valid);
    // A far more probable digit with no letter look-alike stays in a name,
    // and the name fails its class.
    cells[0][8] = Cell({{'7', 0.9995f}});
    r = Decoded(cells);
    EXPECT_EQ(r.lines[0][8], '7');
    EXPECT_FALSE(Field(r, "name").classValid);
    EXPECT_FALSE(r.valid);
    // A far more probable 0 in a name is still an O, weighed from its cell
    // as a letter: sure where the rest of the cell went to the O, unsure
    // where it went to a D as much. A code keeps its digit (a card's C1).
    cells = Exact(kTd3);
    cells[0][11] = Cell({{'0', 0.995f}, {'O', 0.004999f}});
    r = Decoded(cells);
    EXPECT_EQ(r.lines[0], kTd3[0]);
    EXPECT_TRUE(r.valid);
    cells[0][11] = Cell({{'0', 0.995f}, {'O', 0.0026f}, {'D', 0.0024f}});
    r = Decoded(cells);
    EXPECT_EQ(r.lines[0], kTd3[0]);
    EXPECT_FALSE(r.valid);
    EXPECT_EQ(ReadAt(cells[0][11], Cls::Letter).first, '0');

    // A letter in a date is its digit look-alike however sure its cell was
    // of the letter (an O is a 0), and the date's check decides it; a letter
    // with no digit look-alike stays, and the date fails its class.
    cells = Exact(kTd3);
    cells[1][23] = Cell({{'O', kSure}});
    r = Decoded(cells);
    EXPECT_EQ(r.lines[1], kTd3[1]);
    EXPECT_TRUE(Field(r, "expiry_date").classValid);
    EXPECT_TRUE(Field(r, "expiry_date").checkValid);
    cells[1][23] = Cell({{'K', kSure}});
    r = Decoded(cells);
    EXPECT_EQ(r.lines[1][23], 'K');
    EXPECT_FALSE(Field(r, "expiry_date").classValid);
    EXPECT_FALSE(r.valid);

    // Two lines of 44 that are no visa's are a passport's: the first
    // character is P where A is a little more probable (the only character
    // the place admits, so it is sure); a far more probable A stays as read,
    // and the zone is not valid.
    cells = Exact(kTd3);
    cells[0][0] = Cell({{'A', 0.5f}, {'P', 0.48f}});
    r = Decoded(cells);
    EXPECT_EQ(r.format, "TD3");
    EXPECT_EQ(r.lines[0][0], 'P');
    EXPECT_TRUE(r.valid);
    cells[0][0] = Cell({{'A', 0.9995f}});
    r = Decoded(cells);
    EXPECT_EQ(r.lines[0][0], 'A');
    EXPECT_FALSE(r.valid);

    // A nationality read as no known code (UTD) becomes the known code about
    // as probable (UTO), which the list of codes then settles: valid.
    cells = Exact(kTd3);
    cells[1][12] = Cell({{'D', 0.55f}, {'O', 0.43f}});
    r = Decoded(cells);
    EXPECT_EQ(r.lines[1].substr(10, 3), "UTO");
    EXPECT_TRUE(r.valid);
    // A D far more probable than any known code's letter stays, unknown: not valid.
    cells[1][12] = Cell({{'D', 0.98f}});
    r = Decoded(cells);
    EXPECT_EQ(r.lines[1].substr(10, 3), "UTD");
    EXPECT_FALSE(r.valid);
    // Two known codes about as probable (GBR and GBP): the list cannot settle it.
    cells = Exact({"P<GBRERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<", kTd3[1]});
    cells[0][4] = Cell({{'R', 0.55f}, {'P', 0.43f}});
    r = Decoded(cells);
    EXPECT_EQ(r.lines[0].substr(2, 3), "GBR");
    EXPECT_FALSE(r.valid);

    // A sure 0 among a state code's letters is its O (a code holds no
    // digit), and the list of codes settles it: valid. One with no letter
    // look-alike stays, and the code fails its class.
    cells = Exact(kTd3);
    cells[0][4] = Cell({{'0', 0.9995f}, {'O', 0.0004f}});
    r = Decoded(cells);
    EXPECT_EQ(r.lines[0].substr(2, 3), "UTO");
    EXPECT_TRUE(r.valid);
    cells[0][4] = Cell({{'7', 0.9995f}});
    r = Decoded(cells);
    EXPECT_EQ(r.lines[0].substr(2, 3), "UT7");
    EXPECT_FALSE(Field(r, "issuing_state").classValid);

    // A nationality printed as digits is reported as printed: with two of
    // its three characters clearly digits, the third is read as its best digit.
    cells = Exact(kTd3);
    cells[1][10] = Cell({{'T', 0.5f}, {'1', 0.45f}});
    cells[1][11] = Cell({{'3', 0.9995f}});
    cells[1][12] = Cell({{'2', 0.9995f}});
    r = Decoded(cells);
    EXPECT_EQ(r.lines[1].substr(10, 3), "132");
    EXPECT_FALSE(Field(r, "nationality").classValid);
    EXPECT_FALSE(r.valid);
}

TEST(MrzDecode, OneThresholdMakesAZoneValid) {
    MrzResult r = Decoded(Exact(kTd3));
    ASSERT_TRUE(r.valid);
    EXPECT_EQ(r.characters[1][0].candidates.front().first, 'L');
    EXPECT_FLOAT_EQ(r.characters[1][0].candidates.front().second, 0.9995f);

    // A name letter with a rival about as probable: nothing checks names.
    auto cells = Exact(kTd3);
    cells[0][6] = Cell({{'R', 0.6f}, {'F', 0.38f}});
    r = Decoded(cells);
    EXPECT_EQ(r.lines[0], kTd3[0]);
    EXPECT_FALSE(r.valid);
    EXPECT_NEAR(r.characters[0][6].confidence, 0.6f, 0.02f);

    // Valid exactly when every confidence reaches the limit: the default
    // one, stricter for a name's (from its cell alone, and no check covers
    // it), or more when a host asks for more.
    const float limit = std::max(MrzLimits::kMinProbability, MrzLimits::kUncheckedMinProbability);
    for (float p : {0.8f, 0.97f, 0.99f, 0.997f, 0.9985f, 0.99995f}) {
        cells = Exact(kTd3, kSure);
        cells[0][6] = Cell({{'R', p}, {'F', 0.99999f - p}});
        r = Decoded(cells);
        EXPECT_EQ(r.valid, r.characters[0][6].confidence >= limit) << p;
        DecodeLimits strict;
        strict.minProbability = 0.9999f;
        Decode(cells, strict, r);
        EXPECT_EQ(r.valid, r.characters[0][6].confidence >= 0.9999f) << p;
    }
    // A name letter below the threshold, with no rival close: the reasons
    // name it.
    cells = Exact(kTd3);
    cells[0][6] = Cell({{'R', 0.97f}, {'F', 0.0295f}});
    EXPECT_EQ(OnlyReason(cells), "line 1 column 7 unsure: 'R' 0.97 or 'F' 0.03");
    cells[0][6] = Cell({{'R', 0.9995f}, {'F', 0.0004f}});
    EXPECT_TRUE(Decoded(cells).valid);
    // Sure enough for a checked place but not for a name's: the reasons
    // name the letter, not the least sure checked character.
    cells[0][6] = Cell({{'R', 0.997f}, {'F', 0.0025f}});
    cells[1][2] = Cell({{'9', 0.995f}, {'8', 0.0045f}});
    EXPECT_EQ(OnlyReason(cells), "line 1 column 7 unsure: 'R' 0.9970 or 'F' 0.002");
    cells[1][2] = Exact(kTd3)[1][2];
    // The letter under the threshold is named, not a name's O sure as a
    // letter whose cell read it 0 first, a rival as good to the eye.
    cells[0][11] = Cell({{'0', 0.99f}, {'O', 0.00999f}});
    cells[0][6] = Cell({{'R', 0.97f}, {'F', 0.0295f}});
    EXPECT_EQ(OnlyReason(cells).substr(0, 32), "line 1 column 7 unsure: 'R' 0.97");
    // A digit of the document number, which its check digit covers, needs
    // only the default limit (a name's letter as sure is not valid above).
    cells = Exact(kTd3, kSure);
    cells[1][2] = Cell({{'9', 0.995f}, {'8', 0.0045f}});
    EXPECT_TRUE(Decoded(cells).valid);
    // Held to a stricter limit, a letter at 0.9985 is named with the
    // decimals that tell it from certainty.
    cells[0][6] = Cell({{'R', 0.9985f}, {'F', 0.0014f}});
    DecodeLimits strict;
    strict.minProbability = 0.9999f;
    EXPECT_EQ(OnlyReason(cells, strict), "line 1 column 7 unsure: 'R' 0.9985 or 'F' 0.001");
    // A rival it gives almost nothing is shown as such, not as none.
    cells[0][6] = Cell({{'R', 0.9988f}, {'F', 0.0008f}});
    EXPECT_EQ(OnlyReason(cells), "line 1 column 7 unsure: 'R' 0.9988 or 'F' <0.001");
    // Held back by a limit the report is not told of, the zone names its
    // least sure character.
    EXPECT_NE(OnlyReason(Exact(kTd3), strict).find("least sure: line 1 column 2 '<' 0.9995"),
              std::string::npos);
    // Under the default limit, a letter at 0.9877 is shown cut down, not
    // rounded up to the 0.99 it misses.
    cells = Exact(kTd3);
    cells[0][6] = Cell({{'R', 0.9877f}, {'F', 0.0122f}});
    EXPECT_EQ(OnlyReason(cells), "line 1 column 7 unsure: 'R' 0.98 or 'F' 0.01");
    // Two unsure characters under one check digit: the check settles both
    // as read, but vouches for one only. Each is reported as sure as its
    // cell was, and the reasons name both. One alone the check vouches for,
    // and it counts as sure.
    cells = Exact(kTd3, kSure);
    cells[1][1] = Cell({{'8', 0.6f}, {'B', 0.4f}});
    cells[1][7] = Cell({{'C', 0.6f}, {'G', 0.4f}});
    r = Decoded(cells);
    MrzReport(r);
    EXPECT_EQ(r.lines, kTd3);
    EXPECT_FALSE(r.valid);
    EXPECT_EQ(r.reasons,
              (std::vector<std::string>{"line 2 column 2 unsure: '8' 0.60 or 'B' 0.40",
                                        "line 2 column 8 unsure: 'C' 0.60 or 'G' 0.40"}));
    cells[1][7] = Exact(kTd3, kSure)[1][7];
    r = Decoded(cells);
    EXPECT_TRUE(r.valid);
    EXPECT_GT(r.characters[1][1].confidence, MrzLimits::kSettledMinProbability);
    // No check covers the document code: a card's I read surely as J, a
    // letter no card is typed by, is kept as read and fails its class.
    const std::vector<std::string> card{"IDUTOD231458907<<<<<<<<<<<<<<<",
                                        "7408122F1204159UTO<<<<<<<<<<<6",
                                        "ERIKSSON<<ANNA<MARIA<<<<<<<<<<"};
    cells = Exact(card);
    r = Decoded(cells);
    MrzReport(r);
    EXPECT_TRUE(r.valid);
    cells[0][0] = Cell({{'J', 0.999f}, {'I', 0.0005f}});
    r = Decoded(cells);
    MrzReport(r);
    EXPECT_FALSE(r.valid);
    EXPECT_EQ(r.reasons,
              std::vector<std::string>{"document_code holds a character its place does not take"});
    cells[0][6] = Cell({{'R', limit - 0.05f}, {'F', 1.04f - limit}});
    EXPECT_FALSE(Decoded(cells).valid);
    // Nothing checks a name, but its form does: a given name's M read surely
    // as a filler makes a second double filler with letters after it.
    cells = Exact(card);
    cells[2][15] = Cell({{'<', 0.9999f}, {'M', 0.0001f}});
    r = Decoded(cells);
    EXPECT_FALSE(r.valid);  // the decoder's own verdict, which the reader's search acts on
    MrzReport(r);
    EXPECT_EQ(r.lines[2], "ERIKSSON<<ANNA<<ARIA<<<<<<<<<<");
    EXPECT_FALSE(r.valid);
    EXPECT_EQ(r.reasons,
              std::vector<std::string>{"the name has letters after a second double filler"});

    // A date digit with a rival that the check does tell apart (a 7 for the
    // 1 changes the sum by 18): the check settles it, and it counts as sure.
    cells = Exact(kTd3, kSure);
    cells[1][17] = Cell({{'7', 0.55f}, {'1', 0.43f}});
    r = Decoded(cells);
    EXPECT_EQ(r.lines[1], kTd3[1]);
    EXPECT_TRUE(r.valid);
    EXPECT_GT(r.characters[1][17].confidence, limit);

    // A blind twin (8 and S weigh the same in every check sum) is ruled out
    // by the classifier alone: a sure 8 whose S keeps a trace leaves the
    // zone not valid where the place admits an S (the document number), and
    // not where it does not (the birth date's digits).
    for (const auto& [column, admitted] : {std::pair{1, true}, std::pair{16, false}}) {
        cells = Exact(kTd3);
        ASSERT_EQ(kTd3[1][size_t(column)], '8');
        cells[1][size_t(column)] = Cell({{'8', 0.9985f}, {'S', 0.0012f}});
        r = Decoded(cells);
        EXPECT_EQ(r.lines[1], kTd3[1]);
        EXPECT_EQ(r.valid, !admitted) << column;
        cells[1][size_t(column)] = Cell({{'8', 0.9989f}, {'S', 1e-5f}});
        EXPECT_TRUE(Decoded(cells).valid) << column;
    }
    // Letters have blind twins too (M and W weigh 22 and 32): in a document
    // number a sure W whose M keeps a trace is not valid; in a name, which
    // no check covers, the threshold alone stands for every misread.
    const std::vector<std::string> lines{kTd3[0], SecondLine("WA1234567")};
    cells = Exact(lines);
    cells[1][0] = Cell({{'W', 0.9985f}, {'M', 0.0012f}});
    r = Decoded(cells);
    EXPECT_EQ(r.lines, lines);
    EXPECT_FALSE(r.valid);
    cells[1][0] = Cell({{'W', 0.9989f}, {'M', 1e-5f}});
    EXPECT_TRUE(Decoded(cells).valid);
    // A cell that read N first, the check settling it as W: the cell's
    // trace of M, however small, rules nothing out. Read W first, the same
    // check only confirms it.
    cells[1][0] = Cell({{'N', 0.65f}, {'W', 0.34999f}});
    r = Decoded(cells);
    EXPECT_EQ(r.lines, lines);
    EXPECT_FALSE(r.valid);
    cells[1][0] = Cell({{'W', 0.65f}, {'N', 0.34999f}});
    EXPECT_TRUE(Decoded(cells).valid);
    ASSERT_EQ(lines[0][20], 'M');
    cells[0][20] = Cell({{'M', 0.9995f}, {'W', 0.0004f}});
    EXPECT_TRUE(Decoded(cells).valid);
}

// A run of one look-alike read wrong together: a number's QQ read 00 (a Q
// weighs 26, at weights 7 and 3 the change is 260), which its check cannot
// tell apart. The check rules no Q out, so the unsure 0 stands on its cell
// and the zone is not valid; one unsure 0 with no such partner is settled.
TEST(MrzDecode, ARunOfOneLookAlikeTheCheckCannotSeeIsNotSettled) {
    const std::vector<std::string> printed{kTd3[0], SecondLine("QQ1234567")};
    auto cells = Exact(printed, kSure);
    cells[1][0] = Cell({{'0', 0.986f}, {'Q', 0.0137f}});
    cells[1][1] = Cell({{'0', 0.9977f}, {'Q', 0.0023f}});
    MrzResult r = Decoded(cells);
    ASSERT_EQ(r.lines[1].substr(0, 2), "00");
    EXPECT_TRUE(Field(r, "document_number").checkValid);
    EXPECT_FALSE(r.valid);
    EXPECT_NEAR(r.characters[1][0].confidence, 0.986f, 1e-3f);

    const std::vector<std::string> alone{kTd3[0], SecondLine("0Q1234567")};
    cells = Exact(alone, kSure);
    cells[1][0] = Cell({{'0', 0.986f}, {'Q', 0.0137f}});
    r = Decoded(cells);
    EXPECT_EQ(r.lines, alone);
    EXPECT_TRUE(r.valid);
}

// A reading valid but for check digits that fail is sure (its reader stops
// there) only when no character a failing check covers is unsure: that one
// may be the misread. A character settled by its field's own check that
// holds does not count against the composite's.
TEST(MrzDecode, SureButForChecksThatFail) {
    auto sureOf = [](const std::vector<std::vector<Scores>>& cells, MrzResult& r) {
        bool sure = true;
        Decode(cells, {}, r, &sure);
        return sure;
    };
    MrzResult r;
    std::vector<std::string> wrongBirth = kTd3;
    wrongBirth[1][19] = '3';  // printed 2
    auto cells = Exact(wrongBirth, kSure);
    EXPECT_TRUE(sureOf(cells, r));
    EXPECT_FALSE(r.valid);
    EXPECT_FALSE(Field(r, "birth_date").checkValid);
    // An unsure birth-date digit under the check that fails.
    cells[1][17] = Cell({{'7', 0.55f}, {'1', 0.43f}});
    EXPECT_FALSE(sureOf(cells, r));
    // The same digit in a zone whose checks hold: settled, valid and sure.
    cells = Exact(kTd3, kSure);
    cells[1][17] = Cell({{'7', 0.55f}, {'1', 0.43f}});
    EXPECT_TRUE(sureOf(cells, r));
    EXPECT_TRUE(r.valid);

    // The composite digit printed wrong: an unsure document-number letter
    // settled by its own check is sure, an unsure composite digit is not.
    std::vector<std::string> wrongComposite = kTd3;
    wrongComposite[1][43] = '1';  // printed 0
    cells = Exact(wrongComposite, kSure);
    cells[1][3] = Cell({{'8', 0.6f}, {'B', 0.39f}});
    EXPECT_TRUE(sureOf(cells, r));
    EXPECT_EQ(r.lines[1], wrongComposite[1]);
    EXPECT_FALSE(Field(r, "composite").checkValid);
    cells[1][43] = Cell({{'1', 0.6f}, {'7', 0.39f}});
    EXPECT_FALSE(sureOf(cells, r));

    // Checks aside it is the valid zone's rule: a name letter below the
    // threshold is not sure either way; but nothing unsure stands under the
    // check that fails, so that check fails as printed.
    bool printed = false;
    for (const auto& lines : {kTd3, wrongBirth}) {
        cells = Exact(lines, kSure);
        cells[0][6] = Cell({{'R', 0.97f}, {'F', 0.0295f}});
        EXPECT_FALSE(sureOf(cells, r));
        Decode(cells, {}, r, nullptr, &printed);
        EXPECT_TRUE(printed);
    }
    cells = Exact(wrongBirth, kSure);
    cells[1][17] = Cell({{'7', 0.55f}, {'1', 0.43f}});
    Decode(cells, {}, r, nullptr, &printed);
    EXPECT_FALSE(printed);
}

// The reader gives up print whose dates cannot hold before reading the rest
// of it: that test must pass every date the decoding would make hold, and
// few of the digits of print that is no zone.
TEST(MrzDecode, ADateMayHoldWhereTheDecodingMakesItHold) {
    auto birth = [](const std::vector<std::vector<Scores>>& cells) {
        DateScores field;
        for (size_t c = 13; c <= 19; ++c) field[c - 13] = &cells[1][c];
        return DateMayHold(field);
    };
    auto cells = Exact(kTd3, kSure);
    EXPECT_TRUE(birth(cells));
    // A check digit printed wrong, every cell sure: it cannot hold.
    cells[1][19] = Cell({{'3', kSure}});
    EXPECT_FALSE(birth(cells));
    // A digit misread (740812 as 741812), its second reading the printed
    // one: the decoding would correct it, unless it is far less probable.
    cells = Exact(kTd3, kSure);
    cells[1][15] = Cell({{'1', 0.6f}, {'0', 0.39f}});
    EXPECT_TRUE(birth(cells));
    cells[1][15] = Cell({{'1', 0.99f}, {'0', 0.009f}});
    EXPECT_FALSE(birth(cells));
    // Month 18 is no month, though its check holds (741812 sums to 3).
    cells = Exact(kTd3, kSure);
    cells[1][15] = Cell({{'1', kSure}});
    cells[1][16] = Cell({{'8', kSure}});
    cells[1][19] = Cell({{'3', kSure}});
    EXPECT_FALSE(birth(cells));
    // A birth date not known, as fillers.
    cells = Exact(kTd3, kSure);
    for (size_t c = 13; c <= 19; ++c) cells[1][c] = Cell({{'<', kSure}});
    EXPECT_TRUE(birth(cells));

    // Dates read with a second reading for each digit: wherever the decoding
    // makes the check hold, the test passes.
    std::mt19937 rng(29);
    std::uniform_int_distribution<int> digit(0, 9), month(1, 12), day(1, 31);
    std::uniform_real_distribution<float> share(0.5f, 0.999f);
    constexpr int kTrials = 400;
    int holds = 0;
    for (int trial = 0; trial < kTrials; ++trial) {
        char date[8];
        std::snprintf(date, sizeof date, "%d%d%02d%02d%d", digit(rng), digit(rng), month(rng),
                      day(rng), digit(rng));
        cells = Exact(kTd3, kSure);
        for (size_t c = 13; c <= 19; ++c) {
            const char first = date[c - 13], second = char('0' + digit(rng));
            const float p = share(rng);
            cells[1][c] =
                first == second ? Cell({{first, p}}) : Cell({{first, p}, {second, (1 - p) * 0.9f}});
        }
        MrzResult r;
        Decode(cells, {}, r);
        const std::string read = r.lines[1].substr(13, 6);
        const bool isDate = std::stoi(read.substr(2, 2)) <= 12 && std::stoi(read.substr(4)) <= 31;
        if (Field(r, "birth_date").checkValid && isDate) {
            ++holds;
            EXPECT_TRUE(birth(cells)) << "trial " << trial << ": " << r.lines[1];
        }
    }
    EXPECT_GT(holds, kTrials / 10);
    // Random digits read surely, as in text: few pass.
    int mayHold = 0;
    for (int trial = 0; trial < kTrials; ++trial) {
        cells = Exact(kTd3, kSure);
        for (size_t c = 13; c <= 19; ++c) cells[1][c] = Cell({{char('0' + digit(rng)), 0.999f}});
        mayHold += birth(cells);
    }
    EXPECT_LT(mayHold, kTrials / 50);
}

}  // namespace
}  // namespace gw::mrz
