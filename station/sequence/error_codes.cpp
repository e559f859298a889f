#include "station/sequence/error_codes.h"

#include <array>

namespace station {
namespace {

using enum ErrorId;
using C = Column;

constexpr std::array kCatalogue = {
    ErrorEntry{ComTouch, 610, "E610", "COM Open ... NG", C::Com, "T:NG"},
    ErrorEntry{ComPen, 611, "E611", "COM Open ... NG", C::Com, "E:NG"},
    ErrorEntry{SerialNo, 608, "E608", "S/N Check ... NG", C::Com, "SNNG"},
    ErrorEntry{FwChecksum, 604, "E604", "Write F/W ... NG (CheckSum)", C::Fw, " CHS "},
    ErrorEntry{FwRomWrite, 600, "E600", "Write F/W ... NG (RomWrite)", C::Fw, " RWR "},
    ErrorEntry{FwHsyncWrite, 692, "E692", "Write Hsync F/W ... NG", C::Fw, " RL78"},
    ErrorEntry{FwVersion, 601, "E601", "F/W Check ... NG (F/W Version)", C::Fw, "T:VER"},
    ErrorEntry{FwVid, 602, "E602", "F/W Check ... NG (VID)", C::Fw, " VID "},
    ErrorEntry{FwPid, 603, "E603", "F/W Check ... NG (PID)", C::Fw, " PID "},
    ErrorEntry{EmrVersion, 611, "E611", "EMR F/W Check ... NG", C::Fw, "E:VER"},
    ErrorEntry{HsyncPid, 694, "E694", "HSYNC MCU PID ... NG", C::Com, "H:NG"},
    ErrorEntry{HsyncComm, 693, "E693", "HSYNC MCU communicate error.", C::Com, "H:NG"},
    ErrorEntry{HsyncVersion, 691, "E691", "HSYNC MCU FW ver ... NG", C::Com, "H:NG"},
    ErrorEntry{HsyncDisable, 690, "E690", "HSYNC disable.", C::Com, "H:NG"},
    ErrorEntry{HsyncDisableDirect, 690, "E690", "HSYNC disable. (direct connection)", C::Com, "H:NG"},
    ErrorEntry{HsyncCommResLimit, 690, "E690", "HSYNC MCU communicate error.", C::Com, "H:NG"},
    ErrorEntry{HsyncNoise, 695, "E695", "HSYNC Noise Measuring ... NG", C::Com, "H:NG"},
    ErrorEntry{ShortTxTx, 620, "E620", "Short Check ... NG (Tx-Tx)", C::Short, "T-T"},
    ErrorEntry{ShortRxRx, 621, "E621", "Short Check ... NG (Rx-Rx)", C::Short, "R-R"},
    ErrorEntry{ShortTxRx, 622, "E622", "Short Check ... NG (Tx-Rx)", C::Short, "T-R"},
    ErrorEntry{ShortTxGnd, 623, "E623", "Short Check ... NG (Tx-Gnd)", C::Short, "T-G"},
    ErrorEntry{ShortTxVdd, 624, "E624", "Short Check ... NG (Tx-Vdd)", C::Short, "T-V"},
    ErrorEntry{ShortRxGnd, 625, "E625", "Short Check ... NG (Rx-Gnd)", C::Short, "R-G"},
    ErrorEntry{ShortRxVdd, 626, "E626", "Short Check ... NG (Rx-Vdd)", C::Short, "R-V"},
    ErrorEntry{RawRetry, 644, "E644", "Raw Data Check ... NG (Retry)", C::Raw, "RETRY"},
    ErrorEntry{RawTxRxShort, 622, "E622", "Raw Data Check ... NG (Tx-Rx Short)", C::Raw, "S/T-R"},
    ErrorEntry{RawTxOpen, 630, "E630", "Raw Data Check ... NG (Tx Open)", C::Raw, " O/Tx"},
    ErrorEntry{RawRxOpen, 631, "E631", "Raw Data Check ... NG (Rx Open)", C::Raw, " O/Rx"},
    ErrorEntry{RawUpper, 640, "E640", "Raw Data Check ... NG (Upper)", C::Raw, " UPR "},
    ErrorEntry{RawLower, 641, "E641", "Raw Data Check ... NG (Lower)", C::Raw, " LWR "},
    ErrorEntry{RawCal, 642, "E642", "Raw Data Check ... NG (Cal)", C::Raw, " CAL "},
    ErrorEntry{RawDb, 643, "E643", "Raw Data Check ... NG (DB)", C::Raw, " DB  "},
    ErrorEntry{GapHorizontal, 645, "E645", "Raw Data Check ... NG (GAP Horizontal (Rx Open))", C::Raw, " GAP "},
    ErrorEntry{GapVertical, 646, "E646", "Raw Data Check ... NG (GAP Vertical (Tx Open))", C::Raw, " GAP "},
    ErrorEntry{ExtSwitchReset, 700, "E700", "External Switch Check ... NG (Reset)", C::Com, "RST"},
    ErrorEntry{DrawStep1, 651, "E651", "Drawing Test ... NG", C::Draw, "INIT"},
    ErrorEntry{DrawStep2, 652, "E652", "Drawing Test ... NG", C::Draw, "T_MT"},
    ErrorEntry{DrawStep3, 653, "E653", "Drawing Test ... NG", C::Draw, "T_SQ"},
    ErrorEntry{DrawStep4, 654, "E654", "Drawing Test ... NG", C::Draw, "T_DL"},
    ErrorEntry{DrawStep5, 655, "E655", "Drawing Test ... NG", C::Draw, "P_SQ"},
    ErrorEntry{DrawStep6, 656, "E656", "Drawing Test ... NG", C::Draw, "P_DL"},
    ErrorEntry{DrawStep7, 657, "E657", "Drawing Test ... NG", C::Draw, "P_AC"},
    ErrorEntry{DrawStep8, 658, "E658", "Drawing Test ... NG", C::Draw, "P_HV"},
    ErrorEntry{DrawOther, 650, "E650", "Drawing Test ... NG", C::Draw, " NG "},
    ErrorEntry{HomeKey, 680, "E680", "Home Key Check ... NG", C::Raw, " HK  "},
    ErrorEntry{HomeKeyRemove, 680, "E680", "Home Key Check ... NG(remove touch level)", C::Raw, " HK  "},
    ErrorEntry{HomeKeyTouched, 680, "E680", "Home Key Check ... NG(touched level)", C::Raw, " HK  "},
    ErrorEntry{TkpNoPacket, 660, "E660", "TKP Pen Check ... NG(TIMEOUT_NoPacket_inNoiseCheck)", C::Draw, "TKP "},
    ErrorEntry{TkpSaturation, 660, "E660", "Saturation occurred! ... to increase GAIN at ini file", C::Draw, "TKP "},
    ErrorEntry{TkpIncomplete, 660, "E660", "TKP Pen Check ... NG(INCOMPLETE_NoiseCheck)", C::Draw, "TKP "},
    // The closing parenthesis is missing in the message operators know; kept as it is.
    ErrorEntry{TkpPenExist, 660, "E660", "TKP Pen Check ... NG(TIMEOUT_PenExist_inNoiseCheck", C::Draw, "TKP "},
    ErrorEntry{TkpNoise, 660, "E660", "TKP Pen Check ... NG(Noise)", C::Draw, "TKP "},
    ErrorEntry{TkpSignal, 660, "E660", "TKP Pen Check ... NG(Signal)", C::Draw, "TKP "},
    ErrorEntry{TkpOther, 660, "E660", "TKP Pen Check ... NG", C::Draw, "TKP "},
    ErrorEntry{Scan, 670, "E670", "Scan Check ... NG", C::Draw, "SCAN"},
    ErrorEntry{ScanTouch, 670, "E670", "Scan Check ... NG(TIMEOUT_touch)", C::Draw, "SCAN"},
    ErrorEntry{ScanPen, 670, "E670", "Scan Check ... NG(TIMEOUT_pen)", C::Draw, "SCAN"},
};

constexpr bool idsInOrder() {
    for (std::size_t i = 0; i < kCatalogue.size(); ++i)
        if (static_cast<std::size_t>(kCatalogue[i].id) != i) return false;
    return true;
}
static_assert(idsInOrder(), "errorEntry indexes the catalogue by id");

}  // namespace

std::span<const ErrorEntry> errorCatalogue() { return kCatalogue; }

const ErrorEntry& errorEntry(ErrorId id) { return kCatalogue[static_cast<std::size_t>(id)]; }

std::int32_t ngExitCode(std::optional<ErrorId> shown) { return shown ? errorEntry(*shown).number : 1; }

}  // namespace station
