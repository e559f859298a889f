#pragma once
// The station's one settings record. Every field is named after its recipe key so a setting
// reads the same in recipes, logs and code; the rest are values the loader derives.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "controllerlink/sensor_grid.h"
#include "controllerlink/vendor_ids.h"

namespace station {

using controllerlink::Grid;
using controllerlink::kGridRx;
using controllerlink::kGridTx;

inline constexpr int kXlutSize = 72;
inline constexpr int kYlutSize = 46;
inline constexpr int kHomeKeyMaxPins = 255;

// Values that mean "the recipe did not give this key".
inline constexpr std::uint16_t kUnsetWord = 0xCDCD;
inline constexpr std::uint16_t kUnsetMinor = 0x00CD;

inline constexpr std::int32_t kCpuR5 = 9;
inline constexpr std::int32_t kCpuR6 = 11;

// What starts a check (START_TRG). The loader also keeps values that name no trigger (5,
// negatives) as they were written, so the dump gives them back; those never start a check.
enum class StartTrigger : std::int32_t {
    DeviceConnected = 0,  // the controller is connected
    SerialScanned = 1,    // a serial number is scanned
    SerialThenEnter = 2,  // a serial number is scanned, then Enter
    EnterKey = 3,         // the Enter key
    Automatic = 4,        // the first connection, one check per run of the station
};

// One home key threshold list: `count` is how many values the recipe's line held (0 until the
// key is given); values past the 255 slots are not stored.
struct HomeKeyList {
    std::int32_t count = 0;
    std::array<std::int32_t, kHomeKeyMaxPins> values{};
};

// Texts the status panel shows for the loaded recipe.
struct RecipeDisplayTexts {
    std::string pid = "";
    std::string fwMajor = "";
    std::string fwMinor = "";
    std::string hexFile = "";
    std::string computedChecksum = "";
    std::string expectedChecksum = "";
};

struct RecipeSettings {
    // Device identity
    std::int32_t VID = static_cast<std::int32_t>(controllerlink::VID_PRIMARY);
    std::int32_t PID = 0x0112;
    std::int32_t USAGEPAGE = 0xFF09;
    std::int32_t USAGE = 1;

    // Station, logging and run control
    std::string TITLE = "NO TITLE";
    std::string LOG_DIR;
    std::string LOG_FILE = "log";
    StartTrigger START_TRG = StartTrigger::DeviceConnected;
    std::int32_t ENTER_SN = 0;
    std::int32_t GPIO = 2;
    std::int32_t AUTO_QUIT_TIME = 0;
    std::int32_t FORCED_AUTO_QUIT = 0;
    std::int32_t SIMPLE_RESULT = 0;
    std::int32_t POST_PROCESS_ENABLE = 0;
    std::string POST_PROCESS_PATH;
    std::int32_t CPU = kCpuR6;
    std::int32_t TOUCH_REPORT_FORMAT = 0;
    std::int32_t FLR_X_CANCELED = 0;

    // Firmware
    std::int32_t WRITE_FW = 0;
    std::string ROMWRITE_PATH;
    std::string HEX_FILE;
    std::uint16_t CHECKSUM = kUnsetWord;
    std::int32_t COMPARE_FWVER = 0;
    std::int32_t WRITE_COMPARE_FWVER = 0;
    std::uint16_t FWVER_MAJOR = kUnsetWord;
    std::uint16_t FWVER_MINOR = kUnsetMinor;
    std::int32_t WRITE_HSYNC_FW = 0;
    std::string RL78PROG_PATH;
    std::string HSYNC_HEX_FILE;
    std::int32_t EMR_CHECK = 0;
    std::uint16_t EMR_FWVER = kUnsetWord;

    // Short, raw data and gap checks
    std::int32_t SHORT_CHECK = 0;
    std::uint16_t WAIT_TIME = 500;
    std::uint16_t SHORT_THRESHOLD = 100;
    std::int32_t RAW_CHECK = 0;
    std::int32_t RAW_LOG_ONLY = 0;
    std::int32_t DATA_COUNT = 1;
    std::int32_t DATA_COUNT_RETRY = 256;
    std::string REFERENCE_CSV;
    std::string THRESHOLD_CSV;
    std::int32_t CAL_THRESHOLD = 0;
    std::array<std::int32_t, 4> CALTH_IGNORELINE{2, 2, 2, 2};  // top, right, bottom, left
    std::int32_t CALTH_NOFILTER = 0;
    std::int32_t CAL_DIFF = 0;
    std::int32_t CAL_F_USE = 0;
    std::int32_t CAL_OLD_DATA = 0;
    std::int32_t GET_ACTDATA = 0;
    std::int32_t DB_THRESHOLD = 0;
    std::int32_t DB_COUNT = 100;
    std::int32_t GAP_CHECK = 0;  // also written as GAP_HORIZONTAL
    std::int32_t GAP_VERTICAL = 0;
    std::int32_t GAP_LOG_ONLY = 0;
    std::int32_t GAP_COUNT = 3;
    std::string GAP_CSV;

    // Hsync MCU
    std::int32_t HSYNC_INFO = 0;
    std::int32_t HSYNC_CHECK = 0;
    std::int32_t HSYNC_PID = 0;
    std::uint16_t HSYNC_VER = 0;
    std::int32_t HSYNC_CHECK_NO_MCU = 0;
    std::int32_t HSYNC_CHECK_COUNT = 3;
    std::int32_t HSYNC_CHECK_THRESHOLD = 1;
    std::int32_t HSYNC_CHK_RES_LIMIT = 0;
    std::int32_t HSYNC_MEASURING = 0;
    std::int32_t HSYNC_MEAS_MIN = -10;
    std::int32_t HSYNC_MEAS_MAX = 10;
    std::int32_t HSYNC_MEAS_COUNT = 10;
    std::int32_t HSYNC_MEAS_THRESHOLD = 5;

    // Scan and external switch
    std::int32_t SCAN_CHECK = 0;
    std::int32_t EXT_SWITCH_CHECK = 0;

    // Drawing check
    std::int32_t DRAWING_CHECK = 0;
    std::int32_t ACCURACY_CHECK = 0;
    std::int32_t HOVER_CHECK = 0;
    std::int32_t SKIP_PEN_DRAWING = 0;
    std::int32_t DRAW_DISABLE_INT = 0;
    float DRAW_JUDGE_AREA = 7.5f;
    std::int32_t DRAW_INIT_LIMIT_TIME = 0;
    std::int32_t HOVER_NG_COUNT = 0;
    std::int32_t ACCURACY_RADIUS = 200;
    std::int32_t MTOUCH_WAIT = 1000;
    std::int32_t OK_WAIT = 1000;
    std::int32_t NG_WAIT = 3000;
    std::int32_t ROTATE = 0;
    std::int32_t PEN_QUERY_USE_INI = 0;
    std::int32_t PEN_QUERY_WIDTH = 21600;
    std::int32_t PEN_QUERY_HEIGHT = 13500;

    // Active pen (TKP) check
    std::int32_t TKP_CHECK = 0;
    std::int32_t TKP_LOG_ONLY = 1;
    std::int32_t TKP_DBG = 0;
    std::int32_t TKP_NOISE_COUNT = 100;
    std::int32_t TKP_NOISE_CHECK_COUNT = 1;
    std::int32_t TKP_START_WAIT = 0;
    std::int32_t TKP_GAIN_X = 0;
    std::int32_t TKP_GAIN_Y = 0;
    std::int32_t TKP_NOISE_GAIN_X = 0;
    std::int32_t TKP_NOISE_GAIN_Y = 0;
    std::int32_t TKP_NOISE_LIMIT_X = 4000;
    std::int32_t TKP_NOISE_LIMIT_Y = 4000;
    std::int32_t TKP_SIGNAL_LIMIT_X = 1000;
    std::int32_t TKP_SIGNAL_LIMIT_Y = 1000;
    std::int32_t SKIP_TKP_SIGNAL = 0;
    std::int32_t TKP_TOUCH_EXIT_DISABLE = 0;
    std::int32_t TKP_TMP_LMT_OFF = 0;
    std::int32_t TKP_CHECK_ONLY_AVE = 0;
    std::int32_t TKP_SHOW_NOISE_MAX = 0;
    // Per-line noise thresholds from TKP_NOISE_THRE_SP.
    std::array<std::int32_t, kGridRx> TKP_NOISE_THRE_SP_X{};
    std::array<std::int32_t, kGridTx> TKP_NOISE_THRE_SP_Y{};

    // Home key check
    std::int32_t HOMEKEY_CHECK = 0;
    std::int32_t HK_LIMIT_TIME = 5000;
    std::int32_t HK_NUM_PIN = 4;
    HomeKeyList HK_REMOVE;
    HomeKeyList HK_REMOVE_LOW;
    HomeKeyList HK_TOUCH;
    std::int32_t HK_AVE_WINDOW = 16;
    std::int32_t HK_REMOVE_TIME = 1000;
    std::int32_t HK_OK_COUNT_THRESHOLD = 16;

    // Controller scan parameters
    std::uint8_t TXE = 0;
    std::uint8_t TXW = 0;
    std::uint8_t SHW = 0;
    std::uint8_t TIPC_TPS = 7;

    // [S/N]
    std::string SN_STRING;
    std::int32_t SN_MIN = 0;
    std::int32_t SN_NUM = 0;

    // [EXTRA_SETTING]
    std::uint16_t FWVER_MAJOR2 = kUnsetWord;
    std::uint16_t FWVER_MINOR2 = kUnsetMinor;
    std::int32_t DISABLE_FOLDER = 0;

    // [XLUT] / [YLUT]: pin maps written to the controller at connect.
    std::array<std::uint16_t, kXlutSize> XLUT{};
    std::array<std::uint16_t, kYlutSize> YLUT{};

    // Derived by the loader
    std::int32_t RX_PORT_COUNT = 0;
    std::int32_t TX_PORT_COUNT = 0;
    std::int64_t xlutCount = 0;  // values the last [XLUT] held, also those past the table
    std::int64_t ylutCount = 0;
    bool xlutGiven = false;
    bool ylutGiven = false;
    bool tpsGiven = false;
    bool snPatternGiven = false;
    std::uint32_t drawDisableMask = 0;
    bool hkRemoveEnabled = false;
    bool hkRemoveLowEnabled = false;
    bool hkTouchEnabled = false;
    // Noise gain X, signal gain X, noise gain Y, signal gain Y, then 2 and 0.
    std::array<std::uint16_t, 6> TkpGainBlock{};
    bool recipeLoaded = false;
    bool recipeFailed = false;
    std::string recipePath;
    RecipeDisplayTexts display;

    // Reference, threshold and gap tables
    Grid ReferenceTable{};
    Grid UpperTable{};
    Grid LowerTable{};
    Grid GapHorizontalTable{};
    Grid GapVerticalTable{};
};

// drawDisableMask bits
inline constexpr std::uint32_t kDrawDisableMtouch = 0x02;
inline constexpr std::uint32_t kDrawDisableTsq = 0x04;
inline constexpr std::uint32_t kDrawDisableTdl = 0x08;
inline constexpr std::uint32_t kDrawDisablePsq = 0x10;
inline constexpr std::uint32_t kDrawDisablePdl = 0x20;

}  // namespace station
