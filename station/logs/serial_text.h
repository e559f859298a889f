#pragma once
// A serial number is whatever the scanner or the operator typed: any bytes, any length. The
// records keep it whole, each in the form its format can carry.
#include <cstddef>
#include <string>
#include <string_view>

namespace station {

// One CSV field: quoted, with its quotes doubled, when it holds a comma, a quote or a control
// character; otherwise as it is.
std::string csvField(std::string_view text);

// For a line of plain text (the result log's table): a control character becomes "\xHH" and a
// backslash "\\", so the line stays one line and a terminal shows it instead of obeying it.
std::string visibleText(std::string_view text);

// The serial number's part of a file name, at most `limit` bytes: a byte that a file name on
// the station or on the PCs that read the records cannot hold ('/', NUL, control characters,
// \ : * ? " < > | and bytes above 0x7E), and '%' itself, becomes "%XX". A longer result is cut
// and ends in "~" and eight hex digits of a hash of the whole serial number, so two long ones
// stay apart. Letters, digits and the usual punctuation are kept as they are.
std::string fileNameSerial(std::string_view serial, std::size_t limit);

}  // namespace station
