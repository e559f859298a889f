#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "hidlink/backend.h"

namespace hidlink {
namespace {

std::atomic<int> g_trace{-1};  // -1: not decided yet, read VORLICK_HID_TRACE once

void dump(const CollectionDesc& d, const char* what, std::span<const std::uint8_t> bytes) {
    std::string line;
    line.reserve(64 + bytes.size() * 3);
    char head[96];
    std::snprintf(head, sizeof head, "hid %04X/%04X %s len=%zu:", static_cast<unsigned>(d.identity.usagePage),
                  static_cast<unsigned>(d.identity.usage), what, bytes.size());
    line += head;
    for (std::uint8_t b : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", b);
        line += hex;
    }
    line += '\n';
    std::fputs(line.c_str(), stderr);
}

void dumpFailure(const CollectionDesc& d, const char* what, const std::string& reason) {
    char head[64];
    std::snprintf(head, sizeof head, "hid %04X/%04X %s: ", static_cast<unsigned>(d.identity.usagePage),
                  static_cast<unsigned>(d.identity.usage), what);
    std::fputs((head + reason + "\n").c_str(), stderr);
}

}  // namespace

void setTrace(bool on) { g_trace = on ? 1 : 0; }

bool traceEnabled() {
    int t = g_trace.load();
    if (t < 0) {
        const char* env = std::getenv("VORLICK_HID_TRACE");
        t = (env != nullptr && *env != '\0' && std::strcmp(env, "0") != 0) ? 1 : 0;
        g_trace = t;
    }
    return t == 1;
}

std::vector<CollectionDesc> describeCollections(const ParsedDescriptor& parsed, std::uint32_t vendorId,
                                                std::uint32_t productId, std::uint16_t version,
                                                const std::string& path) {
    std::vector<CollectionDesc> out;
    out.reserve(parsed.collections.size());
    for (std::size_t c = 0; c < parsed.collections.size(); ++c) {
        const TopCollection& top = parsed.collections[c];
        CollectionDesc d;
        d.identity = {vendorId, productId, top.usagePage, top.usage};
        d.versionNumber = version;
        d.path = path;
        d.collectionIndex = static_cast<std::uint32_t>(c);
        d.numbered = parsed.numbered;
        d.caps = top;
        out.push_back(std::move(d));
    }
    return out;
}

Connection::Connection(CollectionDesc desc) : desc_(std::move(desc)) {}

Connection::~Connection() = default;

bool Connection::validReportId(std::uint8_t id, const std::vector<std::uint8_t>& ids) const {
    if (!desc_.numbered) return id == 0;
    if (id == 0) return false;
    return ids.empty() || std::find(ids.begin(), ids.end(), id) != ids.end();
}

bool Connection::validFeatureRequest(std::span<const std::uint8_t> report) {
    if (!open_) return setLastError("collection is closed"), false;
    if (report.empty() || report.size() > desc_.caps.featureReportLength)
        return setLastError("feature report length " + std::to_string(report.size()) + " outside 1.." +
                            std::to_string(desc_.caps.featureReportLength)),
               false;
    if (!validReportId(report[0], desc_.caps.featureReportIds))
        return setLastError("no feature report " + std::to_string(report[0])), false;
    return true;
}

bool Connection::getFeature(std::span<std::uint8_t> report) {
    lastError_.clear();
    if (!validFeatureRequest(report)) return false;
    if (traceEnabled()) dump(desc_, "get>", report);
    const long n = doGetFeature(report);
    if (n <= 0) {
        // A backend that cannot say more still names the node and the report.
        if (lastError_.empty()) setLastError(desc_.path + ": get feature " + std::to_string(report[0]) + " refused");
        if (traceEnabled()) dumpFailure(desc_, "get! failed", lastError_);
        return false;
    }
    // Bytes the device did not answer must not keep what the request carried there.
    if (static_cast<std::size_t>(n) < report.size()) std::fill(report.begin() + n, report.end(), std::uint8_t{0});
    if (traceEnabled()) dump(desc_, "get<", report);
    return true;
}

bool Connection::setFeature(std::span<const std::uint8_t> report) {
    lastError_.clear();
    if (!validFeatureRequest(report)) return false;
    if (traceEnabled()) dump(desc_, "set>", report);
    const bool ok = doSetFeature(report);
    if (!ok) {
        if (lastError_.empty()) setLastError(desc_.path + ": set feature " + std::to_string(report[0]) + " refused");
        if (traceEnabled()) dumpFailure(desc_, "set! refused", lastError_);
    }
    return ok;
}

ReadResult Connection::readInput(std::span<std::uint8_t> buffer, int timeoutMs) {
    lastError_.clear();
    if (!open_ || readCancelled_) return setLastError("collection is closed"), ReadResult{ReadStatus::Disconnected, 0};
    if (buffer.empty()) return setLastError("no room for an input report"), ReadResult{ReadStatus::Error, 0};
    ReadResult r = doReadInput(buffer, timeoutMs);
    r.length = std::min(r.length, buffer.size());
    if (r.status == ReadStatus::Ok && traceEnabled()) dump(desc_, "in<", buffer.first(r.length));
    if (r.status == ReadStatus::Disconnected || r.status == ReadStatus::Error) {
        if (lastError_.empty())
            setLastError(desc_.path + (r.status == ReadStatus::Disconnected ? ": device gone" : ": input read failed"));
        if (traceEnabled()) dumpFailure(desc_, "in! failed", lastError_);
    }
    return r;
}

void Connection::cancelRead() {
    readCancelled_ = true;
    doCancelRead();
}

void Connection::close() {
    if (!open_) return;
    open_ = false;
    doClose();
}

}  // namespace hidlink
