// The short check's counters and verdict from a pin check result.
#include "station/sequence/short_check.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

struct Pins {
    Pins() {
        for (std::size_t n = 0; n < xlut.size(); ++n) xlut[n] = static_cast<std::uint16_t>(0x0100 | n);
        for (std::size_t n = 0; n < ylut.size(); ++n) ylut[n] = static_cast<std::uint16_t>(0x0100 | n);
    }
    // "tx3v", "tx3g", "rx12v", ...
    void fault(const std::string& f) {
        const bool tx = f.rfind("tx", 0) == 0;
        const int n = std::stoi(f.substr(2, f.size() - 3));
        station::PinResult& p = tx ? txPins[static_cast<std::size_t>(n)] : rxPins[static_cast<std::size_t>(n)];
        (f.back() == 'v' ? p.vddFault : p.gndFault) = 1;
    }
    station::ShortCounters count() const { return station::countPinFaults(xlut, ylut, rxPins, txPins); }

    std::array<std::uint16_t, station::kXlutSize> xlut{};
    std::array<std::uint16_t, station::kYlutSize> ylut{};
    std::array<station::PinResult, station::kGridRx> rxPins{};
    std::array<station::PinResult, station::kTxPins> txPins{};
};

TEST(ShortCheck, FaultClassesInPrecedence) {
    struct Case {
        const char* what;
        std::vector<std::string> faults;
        std::optional<station::ErrorId> error;
    };
    using E = station::ErrorId;
    const Case cases[] = {
        {"no fault", {}, std::nullopt},
        {"two Tx pins on both rails, Rx pins on one", {"tx3v", "tx3g", "tx9v", "tx9g", "rx1v", "rx2g"}, E::ShortTxTx},
        {"two Rx pins on both rails", {"rx1v", "rx1g", "rx40v", "rx40g", "tx5g"}, E::ShortRxRx},
        {"one Tx and one Rx pin on both rails", {"tx3v", "tx3g", "rx7v", "rx7g"}, E::ShortTxRx},
        {"one Tx pin on both rails only: its Gnd bit decides", {"tx3v", "tx3g"}, E::ShortTxGnd},
        {"Tx to Gnd before Rx faults", {"tx3g", "rx12v"}, E::ShortTxGnd},
        {"Tx to Vdd", {"tx45v", "rx12g"}, E::ShortTxVdd},
        {"Rx to Gnd", {"rx12g", "rx13v"}, E::ShortRxGnd},
        {"Rx to Vdd", {"rx71v"}, E::ShortRxVdd},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Pins p;
        for (const auto& f : c.faults) p.fault(f);
        EXPECT_EQ(station::shortFault(p.count()), c.error);
    }
}

TEST(ShortCheck, CountersOnlyForPinsTheLookupTablesUse) {
    Pins p;
    for (const char* f : {"tx3v", "tx3g", "tx4g", "tx46g", "tx47v", "rx0v", "rx5g", "rx5v", "rx6g"}) p.fault(f);
    p.ylut[4] = 0x0304;  // bits 9..8 = 11: not a Tx pin
    p.xlut[6] = 0x0006;  // bit 8 clear: not an Rx pin
    const station::ShortCounters c = p.count();
    EXPECT_EQ(c.txVddCount, 1);
    EXPECT_EQ(c.txGndCount, 1);  // pins 46 and 47 lie beyond the Y-LUT
    EXPECT_EQ(c.txBoth, 1);
    EXPECT_EQ(c.rxVddCount, 2);
    EXPECT_EQ(c.rxGndCount, 1);
    EXPECT_EQ(c.rxBoth, 1);
    EXPECT_EQ(c.shortTxTotal, 2);
    EXPECT_EQ(c.shortRxTotal, 3);
    EXPECT_EQ(c.shortTotal, 5);
    EXPECT_FALSE(station::txPinUsed(0x0200));
    EXPECT_TRUE(station::txPinUsed(0x0105));
}

}  // namespace
