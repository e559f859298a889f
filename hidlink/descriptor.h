#pragma once
// HID report-descriptor parser shared by every backend (and by the digitizer report decoder).
// It turns the descriptor bytes of one interface into its top-level collections, each with its
// report lengths and value capabilities. Outside input: bounded everywhere, never trusted.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace hidlink {

enum class ReportKind : std::uint8_t { Input = 0, Output = 1, Feature = 2 };

// One Input/Output/Feature main item that carries values (arrays and variables alike).
struct ValueCap {
    ReportKind kind = ReportKind::Input;
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;        // first usage (or usage minimum) of the item
    std::uint16_t usageMax = 0;     // last usage covered (== usage for a single usage)
    std::uint8_t reportId = 0;      // 0 on an unnumbered interface
    std::uint32_t bitOffset = 0;    // from the first bit after the report id byte
    std::uint32_t bitSize = 0;      // Report Size
    std::uint32_t reportCount = 0;  // Report Count
    std::int32_t logicalMin = 0;
    std::int32_t logicalMax = 0;
    std::uint32_t mainFlags = 0;       // data/constant, array/variable, ... as in the item
    std::uint16_t linkCollection = 0;  // index of the innermost collection holding the item
    // The Usage items one by one, when the item listed several (they need not be consecutive:
    // tip switch 0x42, in range 0x32, confidence 0x47). Field i has usageList[i], the fields past
    // the list the last one. At most kMaxListedUsages are kept.
    std::vector<std::uint16_t> usageList;
    bool isConstant() const { return (mainFlags & 1u) != 0; }
};

// One top-level (un-nested Application) collection of an interface.
struct TopCollection {
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    // Largest report of each kind plus the id byte (the byte is counted on unnumbered
    // interfaces too, as a zero placeholder); 0 when the collection has no such report.
    std::uint32_t inputReportLength = 0;
    std::uint32_t outputReportLength = 0;
    std::uint32_t featureReportLength = 0;
    std::vector<std::uint8_t> inputReportIds;
    std::vector<std::uint8_t> outputReportIds;
    std::vector<std::uint8_t> featureReportIds;
    std::vector<ValueCap> valueCaps;
};

struct ParsedDescriptor {
    bool numbered = false;  // some Report ID item appeared: id 0 is invalid
    std::vector<TopCollection> collections;
};

// Limits that keep a hostile descriptor from costing memory or time.
inline constexpr std::size_t kMaxDescriptorBytes = 4096;
inline constexpr std::size_t kMaxCollectionDepth = 32;
inline constexpr std::uint32_t kMaxReportBytes = 8192;
inline constexpr std::size_t kMaxListedUsages = 256;

// Returns nothing (and a reason) for a descriptor that cannot be used: truncated item,
// unbalanced collections, a report larger than kMaxReportBytes, nesting beyond the cap, ...
std::optional<ParsedDescriptor> parseReportDescriptor(std::span<const std::uint8_t> bytes,
                                                      std::string* reason = nullptr);

}  // namespace hidlink
