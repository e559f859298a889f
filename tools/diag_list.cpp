#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "controllerlink/vendor_ids.h"
#include "hidlink/backend.h"
#include "tools/diag_commands.h"

namespace diag {

int runList(const std::vector<std::string>& args) {
    bool makerOnly = false;
    for (const auto& a : args) {
        if (a == "--maker") {
            makerOnly = true;
        } else if (a == "--trace") {
            hidlink::setTrace(true);
        } else {
            std::fprintf(stderr, "vorlick-diag list: unknown option '%s'\n", a.c_str());
            return 2;
        }
    }
    std::string error;
    auto backend = hidlink::makeBackendFromEnvironment(error);
    if (!backend) {
        std::fprintf(stderr, "vorlick-diag: %s\n", error.c_str());
        return 2;
    }
    std::vector<hidlink::CollectionDesc> all;
    if (!backend->enumerate(all, SIZE_MAX)) {
        std::fprintf(stderr, "vorlick-diag: %s\n", backend->lastError().c_str());
        return 2;
    }
    // Nodes the station leaves out because they cannot be opened are shown all the same, with
    // the reason, since this is where a missing udev rule is looked for.
    std::map<std::string, std::string> whyNot;
    int index = 0;
    for (const auto& d : all) {
        if (makerOnly && !controllerlink::isMakerVendor(d.identity.vendorId)) continue;
        auto known = whyNot.find(d.path);
        if (known == whyNot.end()) known = whyNot.emplace(d.path, backend->probeOpen(d)).first;
        const std::string mark = known->second.empty() ? "" : "\tnot openable: " + known->second;
        std::printf("%d\t0x%04X\t0x%04X\t0x%04X\t0x%04X\t0x%04X\t%s%s\n", index++,
                    static_cast<unsigned>(d.identity.vendorId), static_cast<unsigned>(d.identity.productId),
                    static_cast<unsigned>(d.identity.usagePage), static_cast<unsigned>(d.identity.usage),
                    static_cast<unsigned>(d.versionNumber), d.path.c_str(), mark.c_str());
    }
    return 0;
}

}  // namespace diag
