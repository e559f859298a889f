#include "station/logs/detail_csv_header.h"

#include <string>
#include <utility>

#include "station/logs/record_time.h"
#include "station/logs/settings_lines.h"

namespace station {

void BuildDetailCsvHeader(Station& s) {
    const RecipeSettings& r = s.recipe;
    LogFiles& f = s.logFiles;
    std::string out = "Vorlick_R6X,v" + s.programVersionText + '\n';
    out += "Date," + recordTimeText(s.clock.timeOfDay()) + "\n\n";
    out += "##### INI : " + r.recipePath + " ###################\n";
    out += settingsBlock(r, SettingsRecord::DetailCsv);
    out += "\n##### INFO ###################\n";
    out += "RX_PORT_COUNT," + std::to_string(r.RX_PORT_COUNT) + '\n';
    out += "TX_PORT_COUNT," + std::to_string(r.TX_PORT_COUNT) + '\n';
    out += "LOG_RESULT," + f.logFolder + f.logTimestamp + "_result.log\n";
    out += "\n##### RESULT OVERVIEW ###################\n";
    out += "DATE,NO,S/N,RESULT,CODE,COM,F/W,SHORT,OPEN,RAW,DRAW\n";
    f.detailCsvHeader = std::move(out);
}

}  // namespace station
