#include "station/sequence/run_record.h"

#include <array>

namespace station {

std::string& columnText(RunRecord& row, Column column) {
    switch (column) {
        case Column::Com:
            return row.colCom;
        case Column::Fw:
            return row.colFw;
        case Column::Short:
            return row.colShort;
        case Column::Open:
            return row.colOpen;
        case Column::Raw:
            return row.colRaw;
        case Column::Draw:
            break;
    }
    return row.colDraw;
}

const std::string& columnText(const RunRecord& row, Column column) {
    return columnText(const_cast<RunRecord&>(row), column);
}

void initialiseColumns(RunRecord& row, const RecipeSettings& r) {
    row.colResult = "--";
    row.colCode = std::string(kBlankCode);
    row.colCom = "    ";
    row.colFw = r.COMPARE_FWVER != 0 ? "     " : " --- ";
    row.colShort = (r.SHORT_CHECK != 0 || r.RAW_CHECK != 0) ? "   " : "-- ";
    row.colOpen = r.RAW_CHECK != 0 ? "  " : "--";
    row.colRaw = r.RAW_CHECK != 0 ? "     " : " --- ";
    row.colDraw = r.DRAWING_CHECK != 0 ? "    " : " -- ";
}

std::span<const RunDetailField> runDetailFields() {
    static constexpr std::array<RunDetailField, 29> kFields = {{
        {"comFlags", &RunDetail::comFlags},
        {"firmwareFlags", &RunDetail::firmwareFlags},
        {"shortTotal", &RunDetail::shortTotal},
        {"shortTxTotal", &RunDetail::shortTxTotal},
        {"txGndCount", &RunDetail::txGndCount},
        {"txVddCount", &RunDetail::txVddCount},
        {"shortRxTotal", &RunDetail::shortRxTotal},
        {"rxGndCount", &RunDetail::rxGndCount},
        {"rxVddCount", &RunDetail::rxVddCount},
        {"reserved10", &RunDetail::reserved10},
        {"reserved11", &RunDetail::reserved11},
        {"reserved12", &RunDetail::reserved12},
        {"reserved13", &RunDetail::reserved13},
        {"rawTotal", &RunDetail::rawTotal},
        {"upperCount", &RunDetail::upperCount},
        {"lowerCount", &RunDetail::lowerCount},
        {"calCount", &RunDetail::calCount},
        {"dbCount", &RunDetail::dbCount},
        {"rawRetryCount", &RunDetail::rawRetryCount},
        {"gapHorizontalCount", &RunDetail::gapHorizontalCount},
        {"gapVerticalCount", &RunDetail::gapVerticalCount},
        {"drawResult", &RunDetail::drawResult},
        {"tkpFlags", &RunDetail::tkpFlags},
        {"scanFlags", &RunDetail::scanFlags},
        {"homeKeyFlags", &RunDetail::homeKeyFlags},
        {"hsyncFlags", &RunDetail::hsyncFlags},
        {"extSwitchFlags", &RunDetail::extSwitchFlags},
        {"ngTotal", &RunDetail::ngTotal},
        {"serialNg", &RunDetail::serialNg},
    }};
    return kFields;
}

bool RunRecordTable::append(const RunRecord& row) {
    if (full()) return false;
    rows_.push_back(row);
    return true;
}

std::string_view stationStateText(StationState state) {
    switch (state) {
        case StationState::Writing:
            return "WRITING...";
        case StationState::Connect:
            return "CONNECT...";
        case StationState::NoTest:
            return "NO TEST";
        case StationState::Checking:
            return "CHECKING...";
        case StationState::Error:
            return "ERROR";
        case StationState::Ok:
            return "OK";
        case StationState::Ng:
            return "NG";
        case StationState::Ready:
            break;
    }
    return "READY";
}

}  // namespace station
