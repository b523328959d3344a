// The pattern file reader: whitespace-separated tokens, classified one at a
// time as pattern start, comment, grid size or font name.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "recognition/PatternStore.h"

namespace gw {
namespace {

constexpr int32_t kMaxPatternsPerFont = 108;
constexpr int32_t kMaxFontsPerFile = 20;
constexpr size_t kMinRatioChars = 4;  // the fields hold 4 and 6 characters
constexpr size_t kMaxRatioChars = 6;

bool IsBlank(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

// Reads tokens of any length, separated by any run of white space.
class TokenReader {
  public:
    explicit TokenReader(FILE* file) : file_(file) {}

    /// The next token, or false at the end of the file.
    bool Next(std::string& token) {
        token.clear();
        int c = std::getc(file_);
        while (c != EOF && IsBlank(c)) c = std::getc(file_);
        while (c != EOF && !IsBlank(c)) {
            token.push_back(static_cast<char>(c));
            c = std::getc(file_);
        }
        return !token.empty();
    }
    bool Failed() const { return std::ferror(file_) != 0; }

  private:
    FILE* file_;
};

template <size_t N>
std::array<char, N> CutRatio(const std::string& token, size_t keep) {
    std::array<char, N> field = {};
    std::memcpy(field.data(), token.data(), std::min(keep, token.size()));
    return field;
}

bool StartsWith(const std::string& token, const char* prefix) {
    return token.compare(0, std::strlen(prefix), prefix) == 0;
}

// MATRIX_SIZE=<w>x<h>: the width starts at the 13th character and ends at the
// first lower-case x, the height follows it. False when the token changes
// nothing (no x, a size below 1, or more cells than a grid may have).
bool ReadGridSize(const std::string& token, int32_t& width, int32_t& height) {
    const size_t x = token.find('x');
    if (x == std::string::npos) return false;
    const std::string widthText = x > 12 ? token.substr(12, x - 12) : std::string();
    const int32_t w = ReadNumber(widthText.c_str());
    const int32_t h = ReadNumber(token.c_str() + x + 1);
    if (w < 1 || h < 1 || int64_t{w} * h > kMaxGridCells) return false;
    width = w;
    height = h;
    return true;
}

class FileLoader {
  public:
    FileLoader(PatternStore& store, FILE* file) : store_(store), tokens_(file) {}

    // 1 when the whole file was read, 0 when a limit, a short pattern or a
    // read error stopped it.
    int32_t Run() {
        std::string token;
        while (tokens_.Next(token)) {
            if (token.size() == 1 && open_ != nullptr) {
                if (patternsAdded_ == kMaxPatternsPerFont || !ReadPattern(token[0])) return 0;
            } else if (token.size() >= 2 && token[0] == '#' && token[1] == '#') {
                continue;
            } else if (StartsWith(token, "MATRIX_SIZE")) {
                if (ReadGridSize(token, gridWidth_, gridHeight_) && open_ != nullptr) {
                    open_->gridWidth = gridWidth_;
                    open_->gridHeight = gridHeight_;
                }
            } else if (!OpenFont(token)) {
                return 0;
            }
        }
        return tokens_.Failed() ? 0 : 1;
    }

    /// Builds the scoring tables of every font this file added.
    void Finish() {
        for (PatternFont* font : added_) PrepareFont(*font);
    }

  private:
    bool OpenFont(const std::string& name) {
        PatternStore& store = store_;
        auto font = std::make_unique<PatternFont>();
        font->name = name;
        font->index = static_cast<int32_t>(store.fonts.size());
        font->gridWidth = gridWidth_;
        font->gridHeight = gridHeight_;
        added_.push_back(font.get());
        store.fonts.push_back(std::move(font));
        if (fontsOpened_ == kMaxFontsPerFile) return false;  // stays, empty
        ++fontsOpened_;
        open_ = added_.back();
        patternsAdded_ = 0;
        return true;
    }

    // Reads the ratios and rows after a pattern's character; a pattern cut
    // short by the end of the file is not added.
    bool ReadPattern(char character) {
        CharPattern pattern;
        pattern.character = character;
        std::string token;
        if (!tokens_.Next(token)) return false;
        pattern.minRatio = CutRatio<5>(token, kMinRatioChars);
        if (!tokens_.Next(token)) return false;
        pattern.maxRatio = CutRatio<7>(token, kMaxRatioChars);
        for (int32_t row = 0; row < gridHeight_; ++row) {
            if (!tokens_.Next(token)) return false;
            if (token.size() == static_cast<size_t>(gridWidth_)) pattern.cells += token;
        }
        pattern.width = gridWidth_;
        pattern.height = gridHeight_;
        pattern.low = ReadRatio(pattern.minRatio.data());
        pattern.high = ReadRatio(pattern.maxRatio.data());
        open_->patterns.push_back(std::move(pattern));
        ++patternsAdded_;
        return true;
    }

    PatternStore& store_;
    TokenReader tokens_;
    PatternFont* open_ = nullptr;
    int32_t gridWidth_ = 5;
    int32_t gridHeight_ = 5;
    int32_t fontsOpened_ = 0;
    int32_t patternsAdded_ = 0;
    std::vector<PatternFont*> added_;
};

}  // namespace

int32_t ReadNumber(const char* text) {
    const char* p = text;
    while (IsBlank(static_cast<unsigned char>(*p))) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > int64_t{INT32_MAX} + 1) value = int64_t{INT32_MAX} + 1;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) value = INT32_MAX;
    return static_cast<int32_t>(value);
}

Ratio ReadRatio(const char* text) {
    Ratio ratio;
    const size_t length = std::strlen(text);
    if (length == 0) return ratio;
    ratio.whole = static_cast<unsigned char>(text[0]) - '0';
    if (length >= 3) ratio.hundredths = ReadNumber(text + 2);
    return ratio;
}

int32_t LoadPatternFileInto(PatternStore& store, const char* path) {
    if (path == nullptr) return 0;
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path, "r"));
    if (file == nullptr) return 0;
    FileLoader loader(store, file.get());
    const int32_t result = loader.Run();
    loader.Finish();
    return result;
}

}  // namespace gw
