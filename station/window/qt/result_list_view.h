#pragma once
// The result list's look: a report view of ten centred columns over the run record table, one
// row selected at a time, nothing editable, and the newest row always scrolled into view.
#include <QTableView>

#include "station/window/qt/result_list_model.h"

namespace station {

// Sets `view` up to show `model`; rows added later scroll the last of them into view. The
// rows all have one fixed height, so a full table costs the view no measuring.
void setUpResultView(QTableView& view, ResultListModel& model);

}  // namespace station
