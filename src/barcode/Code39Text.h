// Code 39 text rules: the modulo-43 check character and full ASCII.
#pragma once

#include <string>
#include <string_view>

namespace gw::barcodes {

/// Whether the last character of chars is the modulo-43 check of the others
/// (chars holds at least two characters of the Code 39 alphabet).
bool Code39CheckHolds(std::string_view chars);

/// Full ASCII Code 39: "$A" to "$Z" are control characters 1 to 26, "%A" to
/// "%Z" and "/A" to "/Z" punctuation, "+A" to "+Z" small letters. Writes the
/// text into out and returns true when every pair is valid; false (out
/// unspecified) when a '$', '%', '/' or '+' starts no valid pair.
bool Code39FullAscii(std::string_view chars, std::string& out);

/// Code 32, the Italian pharmaceutical code carried in Code 39: six
/// characters of "0-9 B-Z without vowels" are a number in base 32, written as
/// nine digits of which the last checks the first eight (weights 1 and 2,
/// digits of products added). Writes "A" and the nine digits into out and
/// returns true when chars is such a symbol and its check holds.
bool Code32(std::string_view chars, std::string& out);

}  // namespace gw::barcodes
