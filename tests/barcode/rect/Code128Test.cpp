// The Code 128 reader: module counts, pattern lookup, orientation, the check,
// the text and the results, and the "Bar Count" message.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "barcode/BarcodeTestSupport.h"
#include "area/Area.h"
#include "barcode/rect/Code128.h"

namespace {

using bartest::Page;

const std::string kStop = "2331112";

// Module counts of a symbol: the patterns of values, then optionally the stop.
std::vector<uint8_t> Counts(const std::vector<int>& values, bool stop = true) {
    std::vector<uint8_t> counts;
    for (int v : values)
        for (char c : gw::Code128Table[size_t(v)]) counts.push_back(uint8_t(c - '0'));
    if (stop)
        for (char c : kStop) counts.push_back(uint8_t(c - '0'));
    return counts;
}

std::string Digits(const std::vector<uint8_t>& counts) {
    std::string s;
    for (uint8_t c : counts) s.push_back(char('0' + c));
    return s;
}

struct Reader {
    Page page;
    explicit Reader(uint32_t width, uint32_t height, bool oneBit = false)
        : page(width, height, oneBit) {}
    ~Reader() { GW_DestroyArea(); }
    void Open() {
        const AREAPARAMS params = bartest::Params();
        const RECT whole = bartest::Whole(page);
        ASSERT_NE(GW_InitialiseArea(&page.image, &whole, &params), nullptr);
    }
    int32_t Read(std::string& text, RECT rect) {
        std::vector<char> buffer(2 * page.width + 3, '#');
        const int32_t result = GW_ReadCode128(&rect, buffer.data());
        text = buffer.data();
        return result;
    }
};

TEST(Code128, ReferenceWidthsAndModuleCounts) {
    // s = 22: reference widths 2, 4, 6, 8; 5 ties between 4 and 6 and takes
    // 2 modules, 3 ties between 2 and 4 and takes 1.
    const std::vector<uint8_t> expected = {2, 1, 1, 2, 2, 3, 2, 1, 4, 1, 4, 15, 15};
    EXPECT_EQ(gw::ClassifyCode128Widths({4, 2, 2, 4, 4, 6, 5, 1, 8, 3, 1006, 1007, 5000}),
              expected);
    // s = 23: floor((23k + 5) / 11) is again 2, 4, 6, 8.
    // The width of 7 ties between 6 and 8 and takes 3 modules.
    EXPECT_EQ(gw::ClassifyCode128Widths({4, 2, 2, 4, 4, 7, 5, 1, 8, 3, 1006, 1007, 5000}),
              expected);
    // s = 33: 3, 6, 9, 12.
    EXPECT_EQ(gw::ClassifyCode128Widths({6, 3, 3, 6, 6, 9, 4, 5, 11}),
              (std::vector<uint8_t>{2, 1, 1, 2, 2, 3, 1, 2, 4}));
    // Fewer than six widths: s is their sum.
    EXPECT_EQ(gw::ClassifyCode128Widths({3, 8}), (std::vector<uint8_t>{3, 4}));
    EXPECT_TRUE(gw::ClassifyCode128Widths({}).empty());
}

TEST(Code128, ValueFormattingAndCheck) {
    // Start B, then values 0, 5, 9, 10, 99, 100, 101, 102 and the check.
    const std::vector<int> data = {0, 5, 9, 10, 99, 100, 101, 102};
    int sum = 104;
    for (size_t i = 0; i < data.size(); ++i) sum += int(i + 1) * data[i];
    std::vector<int> values = {104};
    values.insert(values.end(), data.begin(), data.end());
    values.push_back(sum % 103);
    const std::vector<uint8_t> counts = Counts(values);
    gw::Code128Reading reading = gw::DecodeCode128(counts);
    std::string check = std::to_string(sum % 103);
    if (check.size() < 2) check = "0" + check;
    EXPECT_EQ(reading.text, Digits(counts) + " " + "0005091099100101102" + check);
    EXPECT_EQ(reading.result, 0);
    EXPECT_EQ(reading.values, values);
    // Without the stop pattern the last symbol is still the check.
    EXPECT_EQ(gw::DecodeCode128(Counts(values, false)).result, 0);
    // A wrong check.
    values.back() = (sum + 1) % 103;
    EXPECT_EQ(gw::DecodeCode128(Counts(values)).result, -4);
    // Start A and Start C are accepted forwards; the seed is the start value.
    EXPECT_EQ(gw::DecodeCode128(Counts({103, 7, (103 + 7) % 103})).result, 0);
    EXPECT_EQ(gw::DecodeCode128(Counts({105, 7, (105 + 7) % 103})).result, 0);
    EXPECT_EQ(gw::DecodeCode128(Counts({105, 7, (104 + 7) % 103})).result, -4);
}

TEST(Code128, StartCExampleScannedFromTheStopEnd) {
    // Start C, 12, 34, check 82 ((105 + 12 + 2 * 34) mod 103), stop, drawn
    // from the stop end at 3 pixels per module: 31 widths.
    const std::vector<std::string> patterns = {"211232", "112232", "131123", "121241", kStop};
    for (bool oneBit : {false, true}) {
        Reader reader(400, 90, oneBit);
        reader.page.Runs(bartest::ModuleRuns(patterns, 3, true), 30, 0, 89);
        reader.Open();
        bartest::SignalLog log;
        std::string text;
        EXPECT_EQ(reader.Read(text, bartest::Whole(reader.page)), 0);
        std::string scanned = patterns[0] + patterns[1] + patterns[2] + patterns[3] + kStop;
        scanned.assign(scanned.rbegin(), scanned.rend());  // digits as scanned
        EXPECT_EQ(text, scanned + " 123482");
        ASSERT_EQ(log.texts.size(), 1u);
        EXPECT_EQ(log.texts[0], "31");
        EXPECT_EQ(log.captions[0], "Bar Count");
        EXPECT_EQ(log.types[0], 1u);
    }
}

TEST(Code128, ReaderResults) {
    // Start B "AB" read from its start at 2 pixels per module: 0.
    const int check = (104 + 33 + 2 * 34) % 103;
    const std::vector<std::string> patterns = {"211214", "111323", "131123",
                                               std::string(gw::Code128Table[size_t(check)]), kStop};
    Reader reader(300, 100);
    const std::vector<uint32_t> runs = bartest::ModuleRuns(patterns, 2);
    // Every row but line 21's (row 20 + 21 * 1 = 41) holds the symbol.
    reader.page.Runs(runs, 10, 0, 40);
    reader.page.Runs(runs, 10, 42, 99);
    reader.Open();
    bartest::SignalLog log;
    std::string text;
    const RECT symbol = {0, 20, 299, 99};  // step (99 - 20) / 41 = 1
    EXPECT_EQ(reader.Read(text, symbol), -1);
    EXPECT_EQ(text, " ");
    EXPECT_EQ(log.texts, std::vector<std::string>{"0"});
    // Lines 20 and 22 crossed the symbol and were cleared. One row lower,
    // line 21 lies on row 42 and the symbol reads.
    EXPECT_EQ(reader.Read(text, RECT{0, 21, 299, 99}), 0);
    EXPECT_EQ(text, "211214111323131123" + std::string(gw::Code128Table[size_t(check)]) + kStop +
                        " 3334" + std::to_string(check));
    // An empty intersection with the area reads nothing.
    EXPECT_EQ(reader.Read(text, RECT{300, 0, 400, 99}), -1);
    EXPECT_EQ(text, " ");
    // Null arguments and no area: -2, the buffer untouched.
    char buffer[4] = "abc";
    EXPECT_EQ(GW_ReadCode128(nullptr, buffer), GW_READ_BAD_ARGUMENT);
    EXPECT_EQ(GW_ReadCode128(&symbol, nullptr), GW_READ_BAD_ARGUMENT);
    GW_DestroyArea();
    EXPECT_EQ(GW_ReadCode128(&symbol, buffer), GW_READ_BAD_ARGUMENT);
    EXPECT_STREQ(buffer, "abc");
}

}  // namespace
