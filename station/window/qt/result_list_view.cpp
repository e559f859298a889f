#include "station/window/qt/result_list_view.h"

#include <QFontMetrics>
#include <QHeaderView>

namespace station {

void setUpResultView(QTableView& view, ResultListModel& model) {
    view.setModel(&model);
    view.setShowGrid(true);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setSelectionMode(QAbstractItemView::SingleSelection);
    view.setEditTriggers(QAbstractItemView::NoEditTriggers);
    view.setWordWrap(false);
    view.setSortingEnabled(false);
    view.setCornerButtonEnabled(false);
    // Tab moves on to the next control, as the operator's keyboard expects.
    view.setTabKeyNavigation(false);

    QHeaderView& rows = *view.verticalHeader();
    rows.hide();
    const int rowHeight = view.fontMetrics().height() + 4;
    rows.setMinimumSectionSize(rowHeight);
    rows.setDefaultSectionSize(rowHeight);
    rows.setSectionResizeMode(QHeaderView::Fixed);

    QHeaderView& columns = *view.horizontalHeader();
    columns.setDefaultAlignment(Qt::AlignCenter);
    columns.setStretchLastSection(false);
    columns.setSectionResizeMode(QHeaderView::Interactive);
    for (int column = 0; column < ResultListModel::kColumns; ++column)
        view.setColumnWidth(column, ResultListModel::kWidths[static_cast<std::size_t>(column)]);

    QObject::connect(&model, &QAbstractItemModel::rowsInserted, &view,
                     [&view, &model](const QModelIndex& parent, int, int last) {
                         if (parent.isValid()) return;
                         // The view lays its rows out later; the scroll range must know the
                         // new rows now.
                         view.doItemsLayout();
                         view.scrollTo(model.index(last, 0));
                     });
}

}  // namespace station
