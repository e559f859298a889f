#include "hidlink/descriptor.h"

#include <algorithm>
#include <map>

namespace hidlink {
namespace {

struct GlobalState {
    std::uint16_t usagePage = 0;
    std::int64_t logicalMin = 0;
    std::int64_t logicalMax = 0;
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint8_t reportId = 0;
};

struct LocalState {
    std::vector<std::uint32_t> usages;  // extended: page << 16 | usage
    bool haveMin = false, haveMax = false;
    std::uint32_t usageMin = 0, usageMax = 0;
    void clear() { *this = LocalState{}; }
};

std::uint32_t unsignedData(const std::uint8_t* p, unsigned size) {
    std::uint32_t v = 0;
    for (unsigned i = 0; i < size; ++i) v |= static_cast<std::uint32_t>(p[i]) << (8 * i);
    return v;
}

std::int64_t signedData(const std::uint8_t* p, unsigned size) {
    const std::uint32_t v = unsignedData(p, size);
    switch (size) {
        case 1:
            return static_cast<std::int8_t>(v);
        case 2:
            return static_cast<std::int16_t>(v);
        case 4:
            return static_cast<std::int32_t>(v);
        default:
            return 0;
    }
}

bool fail(std::string* reason, const char* text) {
    if (reason != nullptr) *reason = text;
    return false;
}

class Parser {
public:
    Parser(std::span<const std::uint8_t> bytes, std::string* reason) : bytes_(bytes), reason_(reason) {}

    bool run(ParsedDescriptor& out) {
        if (bytes_.size() > kMaxDescriptorBytes) return fail(reason_, "descriptor too long");
        std::size_t i = 0;
        while (i < bytes_.size()) {
            const std::uint8_t prefix = bytes_[i];
            if (prefix == 0xFE) {  // long item: size byte, tag byte, data
                if (i + 2 >= bytes_.size()) return fail(reason_, "truncated long item");
                i += 3u + bytes_[i + 1];
                if (i > bytes_.size()) return fail(reason_, "truncated long item");
                continue;
            }
            unsigned size = prefix & 3u;
            if (size == 3) size = 4;
            if (i + 1 + size > bytes_.size()) return fail(reason_, "truncated item");
            const std::uint8_t* data = bytes_.data() + i + 1;
            const unsigned type = (prefix >> 2) & 3u;
            const unsigned tag = prefix >> 4;
            i += 1 + size;
            bool ok = true;
            switch (type) {
                case 0:
                    ok = mainItem(tag, data, size);
                    break;
                case 1:
                    ok = globalItem(tag, data, size);
                    break;
                case 2:
                    localItem(tag, data, size);
                    break;
                default:
                    break;  // reserved type: ignored
            }
            if (!ok) return false;
        }
        if (depth_ != 0) return fail(reason_, "unbalanced collections");
        if (result_.collections.empty()) return fail(reason_, "no application collection");
        finish();
        out = std::move(result_);
        return true;
    }

private:
    bool mainItem(unsigned tag, const std::uint8_t* data, unsigned size) {
        const std::uint32_t value = unsignedData(data, size);
        bool ok = true;
        switch (tag) {
            case 0xA:  // Collection
                if (depth_ >= kMaxCollectionDepth) return fail(reason_, "collections nested too deep");
                if (depth_ == 0) {
                    inApplication_ = (value == 1);
                    if (inApplication_) {
                        TopCollection c;
                        const std::uint32_t u = firstUsage();
                        c.usagePage = static_cast<std::uint16_t>(u >> 16);
                        c.usage = static_cast<std::uint16_t>(u & 0xFFFF);
                        result_.collections.push_back(std::move(c));
                        linkCount_ = 0;
                    }
                    linkStack_.clear();
                    linkStack_.push_back(0);
                } else {
                    ++linkCount_;
                    linkStack_.push_back(linkCount_);
                }
                ++depth_;
                break;
            case 0xC:  // End Collection
                if (depth_ == 0) return fail(reason_, "end collection without collection");
                --depth_;
                if (!linkStack_.empty()) linkStack_.pop_back();
                if (depth_ == 0) inApplication_ = false;
                break;
            case 0x8:
                ok = dataItem(ReportKind::Input, value);
                break;
            case 0x9:
                ok = dataItem(ReportKind::Output, value);
                break;
            case 0xB:
                ok = dataItem(ReportKind::Feature, value);
                break;
            default:
                break;
        }
        local_.clear();  // local state lasts until the next main item
        return ok;
    }

    bool dataItem(ReportKind kind, std::uint32_t flags) {
        const std::uint64_t bits = static_cast<std::uint64_t>(global_.reportSize) * global_.reportCount;
        auto& total = reportBits_[{static_cast<int>(kind), global_.reportId}];
        const std::uint64_t offset = total;
        total += bits;
        if (total > static_cast<std::uint64_t>(kMaxReportBytes) * 8)
            return fail(reason_, "report longer than the limit");
        if (!inApplication_ || depth_ == 0) return true;  // outside any application collection
        const auto owner = static_cast<int>(result_.collections.size() - 1);
        reportOwner_.try_emplace({static_cast<int>(kind), global_.reportId}, owner);
        if (bits == 0) return true;
        ValueCap cap;
        cap.kind = kind;
        const std::uint32_t first = firstUsage();
        cap.usagePage = static_cast<std::uint16_t>(first >> 16);
        cap.usage = static_cast<std::uint16_t>(first & 0xFFFF);
        cap.usageMax = cap.usage;
        if (local_.haveMin && local_.haveMax) {
            cap.usageMax = static_cast<std::uint16_t>(local_.usageMax & 0xFFFF);
        } else if (local_.usages.size() > 1) {
            cap.usageMax = static_cast<std::uint16_t>(local_.usages.back() & 0xFFFF);
            const std::size_t n = std::min(local_.usages.size(), kMaxListedUsages);
            for (std::size_t i = 0; i < n; ++i)
                cap.usageList.push_back(static_cast<std::uint16_t>(local_.usages[i] & 0xFFFF));
        }
        cap.reportId = global_.reportId;
        cap.bitOffset = static_cast<std::uint32_t>(offset);
        cap.bitSize = global_.reportSize;
        cap.reportCount = global_.reportCount;
        cap.logicalMin = static_cast<std::int32_t>(global_.logicalMin);
        cap.logicalMax = static_cast<std::int32_t>(global_.logicalMax);
        cap.mainFlags = flags;
        cap.linkCollection = linkStack_.empty() ? 0 : linkStack_.back();
        auto& caps = result_.collections.back().valueCaps;
        if (caps.size() < 4096) caps.push_back(cap);
        return true;
    }

    bool globalItem(unsigned tag, const std::uint8_t* data, unsigned size) {
        switch (tag) {
            case 0x0:
                global_.usagePage = static_cast<std::uint16_t>(unsignedData(data, size));
                break;
            case 0x1:
                global_.logicalMin = signedData(data, size);
                break;
            case 0x2: {
                global_.logicalMax = signedData(data, size);
                // A maximum that only fits unsigned when the minimum is not negative.
                if (global_.logicalMin >= 0 && global_.logicalMax < 0)
                    global_.logicalMax = static_cast<std::int64_t>(unsignedData(data, size));
                break;
            }
            case 0x7:
                global_.reportSize = unsignedData(data, size);
                break;
            case 0x8: {
                const std::uint32_t id = unsignedData(data, size);
                if (id == 0 || id > 255) return fail(reason_, "invalid report id");
                global_.reportId = static_cast<std::uint8_t>(id);
                result_.numbered = true;
                break;
            }
            case 0x9:
                global_.reportCount = unsignedData(data, size);
                break;
            case 0xA:
                if (stack_.size() >= 16) return fail(reason_, "push stack too deep");
                stack_.push_back(global_);
                break;
            case 0xB:
                if (stack_.empty()) return fail(reason_, "pop without push");
                global_ = stack_.back();
                stack_.pop_back();
                break;
            default:
                break;
        }
        if (global_.reportSize > 32 * 8 || global_.reportCount > kMaxReportBytes * 8)
            return fail(reason_, "report size or count out of range");
        return true;
    }

    void localItem(unsigned tag, const std::uint8_t* data, unsigned size) {
        std::uint32_t v = unsignedData(data, size);
        if (size < 4) v |= static_cast<std::uint32_t>(global_.usagePage) << 16;
        switch (tag) {
            case 0x0:
                if (local_.usages.size() < 1024) local_.usages.push_back(v);
                break;
            case 0x1:
                local_.haveMin = true;
                local_.usageMin = v;
                break;
            case 0x2:
                local_.haveMax = true;
                local_.usageMax = v;
                break;
            default:
                break;
        }
    }

    std::uint32_t firstUsage() const {
        if (!local_.usages.empty()) return local_.usages.front();
        if (local_.haveMin) return local_.usageMin;
        return static_cast<std::uint32_t>(global_.usagePage) << 16;
    }

    void finish() {
        for (const auto& [key, bits] : reportBits_) {
            auto owner = reportOwner_.find(key);
            if (owner == reportOwner_.end()) continue;
            TopCollection& c = result_.collections[static_cast<std::size_t>(owner->second)];
            const auto length = static_cast<std::uint32_t>((bits + 7) / 8 + 1);
            const auto id = static_cast<std::uint8_t>(key.second);
            switch (static_cast<ReportKind>(key.first)) {
                case ReportKind::Input:
                    c.inputReportLength = std::max(c.inputReportLength, length);
                    c.inputReportIds.push_back(id);
                    break;
                case ReportKind::Output:
                    c.outputReportLength = std::max(c.outputReportLength, length);
                    c.outputReportIds.push_back(id);
                    break;
                case ReportKind::Feature:
                    c.featureReportLength = std::max(c.featureReportLength, length);
                    c.featureReportIds.push_back(id);
                    break;
            }
        }
    }

    std::span<const std::uint8_t> bytes_;
    std::string* reason_;
    ParsedDescriptor result_;
    GlobalState global_;
    std::vector<GlobalState> stack_;
    LocalState local_;
    std::size_t depth_ = 0;
    bool inApplication_ = false;
    std::uint16_t linkCount_ = 0;
    std::vector<std::uint16_t> linkStack_;
    std::map<std::pair<int, int>, std::uint64_t> reportBits_;
    std::map<std::pair<int, int>, int> reportOwner_;
};

}  // namespace

std::optional<ParsedDescriptor> parseReportDescriptor(std::span<const std::uint8_t> bytes, std::string* reason) {
    ParsedDescriptor out;
    Parser p(bytes, reason);
    if (!p.run(out)) return std::nullopt;
    return out;
}

}  // namespace hidlink
