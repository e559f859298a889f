#pragma once
// Intel HEX record reader shared by the writer's image loader and the station's checksum. It
// knows the record format only: fields, record checksums, types 00-05, the base address that
// types 02 and 04 set, and the line end after each record. Where the data go, and what limits
// apply, is the caller's business.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace intelhex {

enum class HexLineEnds {
    CrLf,      // every record followed by CR LF, as the writer and the station demand
    CrLfOrLf,  // a bare LF accepted too
};

enum class HexNulBytes {
    Fail,                // the writer refuses a file with a NUL byte anywhere in it
    SkipBetweenRecords,  // the station skips it like any other byte between records
};

struct HexDataRecord {
    std::uint32_t absolute = 0;  // address field plus the base of the last type 02/04 record
    std::span<const std::uint8_t> bytes;
};

// Why a file was refused, for engineers; the writer itself shows no text for these.
struct HexFault {
    std::size_t line = 0;  // 1-based line of the offending record
    std::string what;
    std::string text() const;
};

// Pulls data records out of HEX text. Anything other than ':' between records is skipped, so
// line ends and comments between records do not matter; a NUL byte fails the file unless the
// caller skips it between records. Inside a record it is always a fault.
class HexRecordReader {
public:
    explicit HexRecordReader(std::string_view text, HexLineEnds lineEnds = HexLineEnds::CrLf,
                             HexNulBytes nulBytes = HexNulBytes::Fail)
        : text_(text), lineEnds_(lineEnds), nulBytes_(nulBytes) {}

    // Next data record (its bytes stay valid until the next call). False at the end of the text
    // or at the first fault; failed() tells which.
    bool nextData(HexDataRecord& out);
    bool failed() const { return failed_; }
    // An end-of-file record (type 01) was read; reading goes on after one.
    bool sawEndOfFile() const { return sawEnd_; }
    // Line of the record nextData returned last.
    std::size_t recordLine() const { return recordLine_; }
    const HexFault& fault() const { return fault_; }

private:
    bool fail(std::string what);
    bool hexByte(std::uint8_t& value, std::uint8_t& sum);

    std::string_view text_;
    HexLineEnds lineEnds_;
    HexNulBytes nulBytes_;
    std::size_t pos_ = 0;
    std::size_t line_ = 1;
    std::size_t recordLine_ = 0;
    std::uint32_t base_ = 0;
    bool failed_ = false;
    bool sawEnd_ = false;
    HexFault fault_;
    std::array<std::uint8_t, 255> data_{};
};

// Places data records the way both the writer and the station do: relative to the address of
// the first data record, so data below it wrap to a huge offset and never fit an image.
class HexPlacement {
public:
    // Offset of the record's first byte; widens the covered extent.
    std::uint64_t place(const HexDataRecord& record);
    bool haveFirst() const { return haveFirst_; }
    std::uint32_t first() const { return first_; }
    // Last offset covered by data, raised to the last byte of its 512-byte block (511 when
    // there are no data).
    std::uint64_t blockEnd() const { return static_cast<std::uint64_t>(highest_) | 0x1FF; }

private:
    bool haveFirst_ = false;
    std::uint32_t first_ = 0;
    std::int64_t highest_ = 0;
};

}  // namespace intelhex
