// The zone's grammar on its own: check digits, formats and fields, the
// classes that choose among candidates, corrections only where a check digit
// confirms them, and doubt that keeps a zone from being valid.
#include <gtest/gtest.h>

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

// Scores that read text exactly, each character with full confidence.
std::vector<std::vector<Scores>> Exact(const std::vector<std::string>& lines) {
    std::vector<std::vector<Scores>> cells;
    for (const std::string& l : lines) {
        cells.emplace_back();
        for (char c : l) {
            Scores s{};
            s.fill(0.3f);
            s[ClassOf(c)] = 0.95f;
            cells.back().push_back(s);
        }
    }
    return cells;
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

    // Look-alikes score close to each character here; the checks' blind spots
    // (6 and G, whose values differ by 10) are tested on their own below.
    DecodeLimits plain;
    plain.blindGap = 0;
    const MrzResult td3 = DecodeText(kTd3, plain);
    EXPECT_TRUE(td3.valid);
    EXPECT_EQ(td3.format, "TD3");
    EXPECT_EQ(Field(td3, "surname").value, "ERIKSSON");
    EXPECT_EQ(Field(td3, "given_names").value, "ANNA MARIA");
    EXPECT_EQ(Field(td3, "document_number").check, '6');
    EXPECT_EQ(Field(td3, "composite").check, '0');
    // A TD1 card whose number runs on into the optional data (ICAO's example).
    const MrzResult td1 =
        DecodeText({"I<UTOD23145890<7349<<<<<<<<<<<", "3407127M9507122UTO<<<<<<<<<<<2",
                    "STEVENSON<<PETER<JOHN<<<<<<<<<"});
    EXPECT_TRUE(td1.valid);
    EXPECT_EQ(Field(td1, "document_number").raw, "D23145890734");
    EXPECT_EQ(Field(td1, "document_number").check, '9');
    // A wrong check digit fails its field and the whole, and is not corrected.
    const MrzResult bad = DecodeText({kTd3[0], "L898902C36UTO7408122F1204158ZE184226B<<<<<10"});
    EXPECT_FALSE(bad.valid);
    EXPECT_FALSE(Field(bad, "expiry_date").checkValid);
    EXPECT_TRUE(Field(bad, "birth_date").checkValid);
    EXPECT_TRUE(bad.corrections.empty());
    EXPECT_FALSE(DecodeText({kTd3[0], kTd3[1].substr(0, 43)}).found);
}

TEST(MrzDecode, ClassesChooseAndCheckDigitsConfirm) {
    // An O in a date is read as the digit 0, which the class allows and the
    // check digit agrees with; an unread digit is the one digit that agrees.
    DecodeLimits unsure;
    unsure.minConfidence = 0.5f;
    unsure.blindGap = 0;
    const MrzResult r =
        DecodeText({kTd3[0], "L898902C36UTO74O8122F12041?9ZE184226B<<<<<10"}, unsure);
    EXPECT_TRUE(r.valid);
    EXPECT_EQ(r.lines[1], kTd3[1]);
    ASSERT_EQ(r.corrections.size(), 1u);
    EXPECT_EQ(r.corrections[0].field, "expiry_date");
    EXPECT_EQ(r.corrections[0].column, 26);
    EXPECT_EQ(r.corrections[0].to, '5');
    // At the default confidence an unread character keeps the zone from valid.
    EXPECT_FALSE(DecodeText({kTd3[0], "L898902C36UTO74O8122F12041?9ZE184226B<<<<<10"}).valid);

    // A digit read in a name becomes its look-alike letter: names hold no digits.
    const MrzResult name = DecodeText({"P<UTOERIKSS0N<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<", kTd3[1]});
    EXPECT_EQ(name.lines[0], kTd3[0]);
    EXPECT_TRUE(name.corrections.empty());

    // A far better digit stays in a name, and the name fails its class.
    auto cells = Exact(kTd3);
    cells[0][8].fill(0.2f);
    cells[0][8][ClassOf('7')] = 0.95f;
    MrzResult seven;
    Decode(cells, {}, seven);
    EXPECT_EQ(seven.lines[0][8], '7');
    EXPECT_FALSE(Field(seven, "name").classValid);
    EXPECT_FALSE(seven.valid);

    // Two lines of 44 that are no visa's are a passport's: the first character
    // is P even where A reads a little better; a far better A stays as read,
    // and the zone is not valid.
    auto passport = Exact(kTd3);
    passport[0][0][ClassOf('A')] = 0.97f;
    MrzResult p;
    Decode(passport, {}, p);
    EXPECT_EQ(p.format, "TD3");
    EXPECT_EQ(p.lines[0][0], 'P');
    EXPECT_TRUE(p.valid);
    passport[0][0][ClassOf('P')] = 0.8f;
    Decode(passport, {}, p);
    EXPECT_EQ(p.lines[0][0], 'A');
    EXPECT_FALSE(p.valid);

    // A nationality read as no known code (UTD) takes the one known code a
    // rival about as good spells (UTO); a clearly better reading stays, and
    // leaves the zone in doubt.
    auto state = Exact(kTd3);
    state[1][12][ClassOf('D')] = 0.96f;
    MrzResult uto;
    Decode(state, {}, uto);
    EXPECT_EQ(uto.lines[1].substr(10, 3), "UTO");
    state[1][12][ClassOf('O')] = 0.8f;
    Decode(state, {}, uto);
    EXPECT_EQ(uto.lines[1].substr(10, 3), "UTD");
    EXPECT_FALSE(uto.valid);

    // A nationality printed as digits is reported as printed: with two of its
    // three characters clearly digits, the third is read as its best digit.
    auto digits = Exact(kTd3);
    for (int c : {10, 11, 12}) digits[1][size_t(c)].fill(0.2f);
    digits[1][10][ClassOf('T')] = 0.9f, digits[1][10][ClassOf('1')] = 0.85f;
    digits[1][11][ClassOf('3')] = 0.9f;
    digits[1][12][ClassOf('2')] = 0.9f;
    MrzResult printed;
    Decode(digits, {}, printed);
    EXPECT_EQ(printed.lines[1].substr(10, 3), "132");
    EXPECT_FALSE(Field(printed, "nationality").classValid);
    EXPECT_FALSE(printed.valid);

    // Several characters of the number could each make its check agree: no
    // change is confirmed, and the zone stays not valid.
    const MrzResult amb = DecodeText({kTd3[0], "L898902C?6UTO7408122F1204159ZE184226B<<<<<10"});
    EXPECT_FALSE(amb.valid);
    for (const MrzCorrection& c : amb.corrections) EXPECT_NE(c.field, "document_number");
}

TEST(MrzDecode, DoubtKeepsAZoneFromValid) {
    // Confident, exact reading: valid.
    MrzResult r;
    Decode(Exact(kTd3), {}, r);
    ASSERT_TRUE(r.valid);
    EXPECT_FLOAT_EQ(r.characters[1][0].confidence, 0.95f);
    EXPECT_EQ(r.characters[1][0].candidates.front().first, 'L');

    // Two zeros of a number whose look-alike O comes close: turned into O
    // together they add 24 x (7 + 3) = 240 to the sums, so both checks would
    // agree either way, and the zone is not valid; clearly read, it is.
    std::string line = std::string("L89001234");
    line += char('0' + MrzCheckDigit(line));
    line += "UTO7408122F1204159ZE184226B<<<<<1";
    line +=
        char('0' + MrzCheckDigit(line.substr(0, 10) + line.substr(13, 7) + line.substr(21, 22)));
    auto cancel = Exact({kTd3[0], line});
    Decode(cancel, {}, r);
    EXPECT_TRUE(r.valid);
    for (size_t c : {3u, 4u}) cancel[1][c][ClassOf('O')] = 0.91f;
    Decode(cancel, {}, r);
    EXPECT_EQ(r.lines[1], line);
    EXPECT_FALSE(r.valid);

    // A name letter with a rival as good: nothing checks names, so not valid.
    auto cells = Exact(kTd3);
    cells[0][6][ClassOf('F')] = 0.94f;
    Decode(cells, {}, r);
    EXPECT_EQ(r.lines[0], kTd3[0]);
    EXPECT_FALSE(r.valid);

    // The state codes carry no check digit: a close D for the O of UTO is
    // settled by the list of codes (UTD is none), but a zone whose
    // nationality reads as an unknown code is not valid.
    cells = Exact(kTd3);
    cells[0][4][ClassOf('D')] = 0.94f;
    Decode(cells, {}, r);
    EXPECT_EQ(r.lines[0], kTd3[0]);
    EXPECT_TRUE(r.valid);
    cells = Exact(kTd3);
    cells[1][12][ClassOf('D')] = 1.0f;
    Decode(cells, {}, r);
    EXPECT_EQ(r.lines[1].substr(10, 3), "UTD");
    EXPECT_FALSE(r.valid);

    // One doubtful character under a check digit that settles it: valid.
    cells = Exact(kTd3);
    cells[1][1][ClassOf('B')] = 0.94f;
    Decode(cells, {}, r);
    EXPECT_TRUE(r.valid);

    // Two 0-or-O doubts whose swaps cancel in the check (24 * 7 + 24 * 3 = 240):
    // the check cannot settle them.
    const std::vector<std::string> zeros{kTd3[0], "M000004264TWN6803029M9801048F122187664<<<<66"};
    ASSERT_EQ(MrzCheckDigit("M00000426"), 4);
    cells = Exact(zeros);
    cells[1][3][ClassOf('O')] = 0.945f;
    cells[1][4][ClassOf('O')] = 0.945f;
    Decode(cells, {}, r);
    EXPECT_EQ(r.lines[1], zeros[1]);
    EXPECT_FALSE(r.valid);

    // A G about as good as the 6 of the personal number: G and 6 differ by
    // 10 in value, so the check digits agree either way and cannot settle it.
    cells = Exact(kTd3);
    ASSERT_EQ(kTd3[1][35], '6');
    cells[1][35][ClassOf('G')] = 0.9f;
    Decode(cells, {}, r);
    EXPECT_EQ(r.lines[1], kTd3[1]);
    EXPECT_TRUE(Field(r, "personal_number").checkValid);
    EXPECT_FALSE(r.valid);
    // The same rival in the name, which no check covers, is no blind spot.
    cells = Exact(kTd3);
    cells[0][6][ClassOf('O')] = 0.9f;  // E (14) and O (24)
    Decode(cells, {}, r);
    EXPECT_TRUE(r.valid);

    // A character below the options' confidence.
    cells = Exact(kTd3);
    cells[0][20].fill(0.1f);
    cells[0][20][ClassOf('A')] = 0.5f;
    Decode(cells, {}, r);
    EXPECT_FALSE(r.valid);
}

}  // namespace
}  // namespace gw::mrz
