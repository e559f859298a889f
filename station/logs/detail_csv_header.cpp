#include "station/logs/detail_csv_header.h"

#include <string>

#include "station/logs/record_time.h"
#include "station/logs/settings_lines.h"

namespace station {

std::string detailCsvHeader(const RecipeSettings& r, const LogFiles& f, std::string_view programVersion,
                            const platform::TimeOfDay& now) {
    std::string out = "Vorlick_R6X,v" + std::string(programVersion) + '\n';
    out += "Date," + recordTimeText(now) + "\n\n";
    out += "##### INI : " + r.recipePath + " ###################\n";
    out += settingsBlock(r, SettingsRecord::DetailCsv);
    out += "\n##### INFO ###################\n";
    out += "RX_PORT_COUNT," + std::to_string(r.RX_PORT_COUNT) + '\n';
    out += "TX_PORT_COUNT," + std::to_string(r.TX_PORT_COUNT) + '\n';
    out += "LOG_RESULT," + f.logFolder + f.logTimestamp + "_result.log\n";
    out += "\n##### RESULT OVERVIEW ###################\n";
    out += "DATE,NO,S/N,RESULT,CODE,COM,F/W,SHORT,OPEN,RAW,DRAW\n";
    return out;
}

void BuildDetailCsvHeader(Station& s) {
    s.logFiles.detailCsvHeader = detailCsvHeader(s.recipe, s.logFiles, s.programVersionText, s.clock.timeOfDay());
}

}  // namespace station
