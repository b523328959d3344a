// The one JSON writer of the library: every result type's JSON (the zone,
// barcodes, text lines), and through them the tool's and the Python
// package's, is written by it, so every face prints the same keys in the same
// order with the same numbers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gw::report {

/// Writes one JSON value into a string, placing the commas itself. Floats
/// are written in the shortest form that reads back to the same float
/// (1395.9f prints as 1395.9), doubles likewise; NaN and infinities, which
/// JSON cannot hold, as null. Strings are UTF-8; control characters are
/// escaped.
class JsonWriter {
  public:
    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    JsonWriter& BeginArray();
    JsonWriter& EndArray();
    /// The next member's name (inside an object).
    JsonWriter& Key(std::string_view name);
    JsonWriter& String(std::string_view text);
    /// Text of bytes 0 to 255 read as Latin-1 (Code 128's extended
    /// characters), written as UTF-8.
    JsonWriter& Latin1(std::string_view text);
    JsonWriter& Char(char c) { return String(std::string_view(&c, 1)); }
    JsonWriter& Number(float v);
    JsonWriter& Number(double v);
    JsonWriter& Int(int64_t v);
    JsonWriter& Bool(bool v);
    JsonWriter& Null();

    /// The text written so far.
    const std::string& Text() const { return out_; }

  private:
    void Separate();
    std::string out_;
    std::vector<bool> first_;  // per open container: nothing written in it yet
    bool afterKey_ = false;
};

}  // namespace gw::report
