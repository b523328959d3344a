// The zone rules on their own: check digits, formats, fields, corrections and
// the choice of the zone's lines among a page's lines. The zones are the
// specimens of ICAO 9303 (issuing state UTO).
#include <gtest/gtest.h>

#include "Mrz.h"

namespace gwtool {
namespace {

const MrzField& Field(const MrzReading& r, const std::string& name) {
    for (const MrzField& f : r.fields)
        if (f.name == name) return f;
    static const MrzField none{"(none)", "", "", false, 0, false};
    ADD_FAILURE() << "no field " << name;
    return none;
}

TextLine L(const std::string& text, int left, int top, int right, int bottom) {
    TextLine l;
    l.text = text;
    l.left = left, l.top = top, l.right = right, l.bottom = bottom;
    return l;
}

TEST(MrzCheckDigit, WeightsSevenThreeOneOverValuesOfDigitsLettersAndFiller) {
    EXPECT_EQ(MrzCharValue('0'), 0);
    EXPECT_EQ(MrzCharValue('9'), 9);
    EXPECT_EQ(MrzCharValue('A'), 10);
    EXPECT_EQ(MrzCharValue('Z'), 35);
    EXPECT_EQ(MrzCharValue('<'), 0);
    EXPECT_EQ(MrzCharValue('?'), -1);
    EXPECT_EQ(MrzCharValue('a'), -1);
    // The specimens' fields.
    EXPECT_EQ(MrzCheckDigit("L898902C3"), 6);
    EXPECT_EQ(MrzCheckDigit("740812"), 2);
    EXPECT_EQ(MrzCheckDigit("120415"), 9);
    EXPECT_EQ(MrzCheckDigit("ZE184226B<<<<<"), 1);
    EXPECT_EQ(MrzCheckDigit("D23145890"), 7);
    EXPECT_EQ(MrzCheckDigit("<<<<<<"), 0);
    EXPECT_EQ(MrzCheckDigit(""), 0);
    // The weights repeat from the fourth character on: 1*7 + 1*3 + 1*1 + 1*7.
    EXPECT_EQ(MrzCheckDigit("1111"), 8);
    EXPECT_EQ(MrzCheckDigit("12?4"), -1);
}

TEST(MrzFormat, NamedByLineCountLengthAndDocumentCode) {
    EXPECT_EQ(MrzFormatOf(3, 30, 'I'), MrzFormat::TD1);
    EXPECT_EQ(MrzFormatOf(2, 36, 'I'), MrzFormat::TD2);
    EXPECT_EQ(MrzFormatOf(2, 36, 'V'), MrzFormat::MRVB);
    EXPECT_EQ(MrzFormatOf(2, 44, 'P'), MrzFormat::TD3);
    EXPECT_EQ(MrzFormatOf(2, 44, 'V'), MrzFormat::MRVA);
    EXPECT_FALSE(MrzFormatOf(2, 30, 'I'));
    EXPECT_FALSE(MrzFormatOf(3, 44, 'P'));
    EXPECT_FALSE(MrzFormatOf(1, 44, 'P'));
    EXPECT_FALSE(MrzFormatOf(2, 40, 'P'));
    EXPECT_STREQ(MrzFormatName(MrzFormat::MRVA), "MRV-A");
    EXPECT_STREQ(MrzFormatName(MrzFormat::MRVB), "MRV-B");
    EXPECT_STREQ(MrzFormatName(MrzFormat::TD1), "TD1");
    // Lines of different lengths are no zone.
    EXPECT_FALSE(ParseMrz({"P<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<",
                           "L898902C36UTO7408122F1204159ZE184226B<<<<<1"}));
    EXPECT_FALSE(ParseMrz({}));
}

TEST(MrzFields, SplitAndCheckedInEveryFormat) {
    const auto td3 = ParseMrz({"P<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<",
                               "L898902C36UTO7408122F1204159ZE184226B<<<<<10"});
    ASSERT_TRUE(td3);
    EXPECT_EQ(td3->format, MrzFormat::TD3);
    EXPECT_TRUE(td3->valid);
    EXPECT_TRUE(td3->corrections.empty());
    EXPECT_EQ(Field(*td3, "document_code").value, "P");
    EXPECT_EQ(Field(*td3, "surname").value, "ERIKSSON");
    EXPECT_EQ(Field(*td3, "given_names").value, "ANNA MARIA");
    EXPECT_EQ(Field(*td3, "document_number").raw, "L898902C3");
    EXPECT_EQ(Field(*td3, "document_number").check, '6');
    EXPECT_EQ(Field(*td3, "birth_date").raw, "740812");
    EXPECT_EQ(Field(*td3, "sex").value, "F");
    EXPECT_EQ(Field(*td3, "expiry_date").raw, "120415");
    EXPECT_EQ(Field(*td3, "personal_number").value, "ZE184226B");
    EXPECT_EQ(Field(*td3, "composite").check, '0');
    EXPECT_TRUE(Field(*td3, "composite").valid);

    const auto td2 =
        ParseMrz({"I<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<", "D231458907UTO7408122F1204159<<<<<<<6"});
    ASSERT_TRUE(td2);
    EXPECT_EQ(td2->format, MrzFormat::TD2);
    EXPECT_TRUE(td2->valid);
    EXPECT_EQ(Field(*td2, "document_number").raw, "D23145890");
    EXPECT_EQ(Field(*td2, "optional_data").value, "");

    const auto td1 = ParseMrz({"I<UTOD231458907<<<<<<<<<<<<<<<", "7408122F1204159UTO<<<<<<<<<<<6",
                               "ERIKSSON<<ANNA<MARIA<<<<<<<<<<"});
    ASSERT_TRUE(td1);
    EXPECT_EQ(td1->format, MrzFormat::TD1);
    EXPECT_TRUE(td1->valid);
    EXPECT_EQ(Field(*td1, "nationality").value, "UTO");
    EXPECT_EQ(Field(*td1, "birth_date").check, '2');
    EXPECT_EQ(Field(*td1, "surname").value, "ERIKSSON");

    const auto mrva = ParseMrz({"V<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<",
                                "L8988901C4XXX4009078F96121096ZE184226B<<<<<<"});
    ASSERT_TRUE(mrva);
    EXPECT_EQ(mrva->format, MrzFormat::MRVA);
    EXPECT_TRUE(mrva->valid);
    EXPECT_EQ(Field(*mrva, "optional_data").raw, "6ZE184226B<<<<<<");

    const auto mrvb =
        ParseMrz({"V<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<", "L8988901C4XXX4009078F9612109<<<<<<<<"});
    ASSERT_TRUE(mrvb);
    EXPECT_EQ(mrvb->format, MrzFormat::MRVB);
    EXPECT_TRUE(mrvb->valid);
    for (const MrzField& f : mrvb->fields) EXPECT_NE(f.name, "composite");

    // A wrong check digit is reported on its field and on the whole.
    const auto bad = ParseMrz({"P<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<",
                               "L898902C36UTO7408122F1204158ZE184226B<<<<<10"});
    ASSERT_TRUE(bad);
    EXPECT_FALSE(bad->valid);
    EXPECT_FALSE(Field(*bad, "expiry_date").valid);
    EXPECT_TRUE(Field(*bad, "birth_date").valid);
}

TEST(MrzCorrections, OnlyWhereACheckDigitAgreesAndTheClassAllows) {
    // A letter O for a zero in a date, an unread digit, a B for an 8 in a
    // check digit: each is put right by its field's check digit.
    const auto r = ParseMrz({"P<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<",
                             "L898902C36UTO74O8122F12?4159ZE184226B<<<<<1O"});
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->valid);
    EXPECT_EQ(r->lines[1], "L898902C36UTO7408122F1204159ZE184226B<<<<<10");
    ASSERT_EQ(r->corrections.size(), 3u);
    EXPECT_EQ(r->corrections[0].field, "birth_date");
    EXPECT_EQ(r->corrections[0].line, 1);
    EXPECT_EQ(r->corrections[0].column, 15);
    EXPECT_EQ(r->corrections[0].from, 'O');
    EXPECT_EQ(r->corrections[0].to, '0');
    EXPECT_EQ(r->corrections[1].from, '?');
    EXPECT_EQ(r->corrections[1].to, '0');
    EXPECT_EQ(r->corrections[2].field, "composite");

    // A check digit read as its look-alike letter.
    const auto b = ParseMrz({"I<UTOD231458907<<<<<<<<<<<<<<<", "7408122F120415BUTO<<<<<<<<<<<6",
                             "ERIKSSON<<ANNA<MARIA<<<<<<<<<<"});
    ASSERT_TRUE(b);
    // 120415 has check digit 9, not 8: B -> 8 does not agree, so nothing changes.
    EXPECT_FALSE(b->valid);
    EXPECT_TRUE(b->corrections.empty());
    const auto b2 = ParseMrz({"I<UTOD23145890Z<<<<<<<<<<<<<<<", "7408122F1204159UTO<<<<<<<<<<<6",
                              "ERIKSSON<<ANNA<MARIA<<<<<<<<<<"});
    ASSERT_TRUE(b2);
    EXPECT_FALSE(b2->valid);  // Z looks like 2, but the check digit is 7
    EXPECT_TRUE(b2->corrections.empty());

    // In the document number (letters and digits) an unread character has
    // several values that agree (3, D, N, X): no correction.
    const auto amb = ParseMrz({"P<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<",
                               "L898902C?6UTO7408122F1204159ZE184226B<<<<<10"});
    ASSERT_TRUE(amb);
    EXPECT_FALSE(amb->valid);
    EXPECT_FALSE(Field(*amb, "document_number").valid);
    EXPECT_EQ(Field(*amb, "document_number").raw, "L898902C?");
    for (const MrzCorrection& c : amb->corrections) EXPECT_NE(c.field, "document_number");

    // S read for 5 in the number: the check digit agrees with 5 there, and
    // also with O for the D in front, so without scores nothing is changed;
    // with scores the character that matched worst is the one corrected.
    const std::vector<std::string> s5{"I<UTOD2314S8907<<<<<<<<<<<<<<<",
                                      "7408122F1204159UTO<<<<<<<<<<<6",
                                      "ERIKSSON<<ANNA<MARIA<<<<<<<<<<"};
    const auto unsure = ParseMrz(s5);
    ASSERT_TRUE(unsure);
    EXPECT_FALSE(unsure->valid);
    EXPECT_TRUE(unsure->corrections.empty());
    std::vector<std::vector<int>> scores(3, std::vector<int>(30, 96));
    scores[0][10] = 82;
    const auto five = ParseMrz(s5, scores);
    ASSERT_TRUE(five);
    EXPECT_TRUE(five->valid);
    ASSERT_EQ(five->corrections.size(), 1u);
    EXPECT_EQ(five->corrections[0].from, 'S');
    EXPECT_EQ(five->corrections[0].to, '5');
    EXPECT_EQ(five->corrections[0].column, 10);
    EXPECT_EQ(five->corrections[0].field, "document_number");
    // I for 1 there would agree as well as L for 1 (their values differ by
    // 20 at a weight of 7), so neither is chosen.
    const auto one = ParseMrz({"I<UTOD23I458907<<<<<<<<<<<<<<<", "7408122F1204159UTO<<<<<<<<<<<6",
                               "ERIKSSON<<ANNA<MARIA<<<<<<<<<<"});
    ASSERT_TRUE(one);
    EXPECT_FALSE(one->valid);
    EXPECT_TRUE(one->corrections.empty());

    // No check digit covers the name: an unread letter stays, and the zone
    // is not valid although every check digit agrees.
    const auto name = ParseMrz({"P<UTOERIK?SON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<",
                                "L898902C36UTO7408122F1204159ZE184226B<<<<<10"});
    ASSERT_TRUE(name);
    EXPECT_FALSE(name->valid);
    EXPECT_TRUE(name->corrections.empty());
    EXPECT_EQ(Field(*name, "surname").raw, "ERIK?SON");
}

TEST(MrzFields, LongDocumentNumberContinuesInTheOptionalData) {
    // TD1: twelve characters, a filler where the check digit would stand,
    // the last three and the check digit in the optional data.
    const std::string number = "D23145890123";
    const char check = static_cast<char>('0' + MrzCheckDigit(number));
    std::string line1 = "I<UTO" + number.substr(0, 9) + "<" + number.substr(9) + check;
    line1.resize(30, '<');
    std::string line2 = "7408122F1204159UTO<<<<<<<<<<<";
    std::string composite =
        line1.substr(5, 25) + line2.substr(0, 7) + line2.substr(8, 7) + line2.substr(18, 11);
    line2 += static_cast<char>('0' + MrzCheckDigit(composite));
    const auto r = ParseMrz({line1, line2, "ERIKSSON<<ANNA<MARIA<<<<<<<<<<"});
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->valid);
    EXPECT_EQ(Field(*r, "document_number").value, number);
    EXPECT_EQ(Field(*r, "document_number").check, check);
    EXPECT_EQ(Field(*r, "optional_data").value, "");
}

TEST(MrzLines, TheLowestStackOfLinesOfOneZoneLength) {
    const std::string l44a = "P<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<";
    const std::string l44b = "L898902C36UTO7408122F1204159ZE184226B<<<<<10";
    std::vector<TextLine> page{
        L("PASSPORT", 400, 50, 900, 90),
        L(l44b, 80, 962, 1400, 990),  // the second line of the zone, listed first
        L(l44a, 82, 910, 1402, 938),
        L(std::string(44, 'X'), 80, 300, 1400, 328),  // a 44-character line alone
    };
    EXPECT_EQ(FindMrzLines(page), (std::vector<size_t>{2, 1}));

    // Lines that do not start in line with each other are not one zone.
    page[1].left += 200;
    page[1].right += 200;
    EXPECT_TRUE(FindMrzLines(page).empty());

    // A zone of three lines of 30; two of them are not enough.
    const std::string l30 = "I<UTOD231458907<<<<<<<<<<<<<<<";
    std::vector<TextLine> card{L(l30, 50, 400, 920, 428), L(l30, 50, 452, 920, 480)};
    EXPECT_TRUE(FindMrzLines(card).empty());
    card.push_back(L(l30, 52, 504, 922, 532));
    EXPECT_EQ(FindMrzLines(card), (std::vector<size_t>{0, 1, 2}));

    // Lines far apart are no zone; of two zones the lower wins.
    std::vector<TextLine> apart{L(l44a, 80, 100, 1400, 128), L(l44b, 80, 600, 1400, 628)};
    EXPECT_TRUE(FindMrzLines(apart).empty());
    apart.push_back(L(l44a, 80, 548, 1400, 576));
    apart.push_back(L(l44b, 80, 152, 1400, 180));
    EXPECT_EQ(FindMrzLines(apart), (std::vector<size_t>{2, 1}));
}

}  // namespace
}  // namespace gwtool
