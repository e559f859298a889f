#include <gtest/gtest.h>

#include <QApplication>
#include <QBrush>
#include <QColor>
#include <QTableView>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "station/window/qt/result_list_model.h"
#include "station/window/qt/result_list_view.h"

namespace station {
namespace {

struct Texts {
    std::int32_t checkNo, retryNo;
    const char* cells[9];  // S/N, RESULT, CODE, COM, F/W, SHORT, OPEN, RAW, DRAW
};

void addRow(RunRecordTable& table, const Texts& t) {
    RunRecord row;
    row.checkNo = t.checkNo;
    row.retryNo = t.retryNo;
    std::string* fields[] = {&row.serialNo, &row.colResult, &row.colCode, &row.colCom, &row.colFw,
                             &row.colShort, &row.colOpen,   &row.colRaw,  &row.colDraw};
    for (int i = 0; i < 9; ++i) *fields[i] = t.cells[i];
    ASSERT_TRUE(table.append(row));
}

QStringList rowTexts(const ResultListModel& model, int row) {
    QStringList texts;
    for (int column = 0; column < model.columnCount(); ++column)
        texts << model.index(row, column).data(Qt::DisplayRole).toString();
    return texts;
}

QColor foreground(const ResultListModel& model, int row, int column) {
    return model.index(row, column).data(Qt::ForegroundRole).value<QBrush>().color();
}

// Heap-held: the table keeps every row's storage from the start.
struct ResultList : ::testing::Test {
    std::unique_ptr<RunRecordTable> runs = std::make_unique<RunRecordTable>();
    ResultListModel model{*runs};
};

TEST_F(ResultList, RowsShowTheTablesTextsCentred) {
    const Texts rows[] = {
        {12, 3, {"SN0012", "NG", "E612", "    ", "     ", "NG ", "  ", "NG   ", "    "}},
        {1, 0, {"", "OK", "    ", "OK  ", " --- ", "-- ", "--", " --- ", " -- "}},
        {49999, 2, {"A\tB", "--", "E601", "NG", "", "", "", "", "OK"}},
    };
    for (const Texts& t : rows) addRow(*runs, t);
    model.showRows(runs->rowCount());
    ASSERT_EQ(model.rowCount(), 3);
    ASSERT_EQ(model.columnCount(), 10);

    EXPECT_EQ(rowTexts(model, 0),
              (QStringList{"12-3", "SN0012", "NG", "E612", "    ", "     ", "NG ", "  ", "NG   ", "    "}));
    EXPECT_EQ(rowTexts(model, 1),
              (QStringList{"1-0", "", "OK", "    ", "OK  ", " --- ", "-- ", "--", " --- ", " -- "}));
    EXPECT_EQ(rowTexts(model, 2), (QStringList{"49999-2", "A\tB", "--", "E601", "NG", "", "", "", "", "OK"}));

    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 10; ++column)
            EXPECT_EQ(model.index(row, column).data(Qt::TextAlignmentRole).value<Qt::Alignment>(),
                      Qt::Alignment(Qt::AlignCenter));

    QStringList titles;
    for (int column = 0; column < 10; ++column)
        titles << model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    EXPECT_EQ(titles, (QStringList{"NO", "S/N", "RESULT", "CODE", "COM", "F/W", "SHORT", "OPEN", "RAW", "DRAW"}));
}

// Only the RESULT cell is coloured, and only by an exact "NG" or "OK"; other cells saying NG or
// OK stay black.
TEST_F(ResultList, OnlyTheResultCellIsColoured) {
    const std::pair<const char*, QColor> cases[] = {
        {"NG", QColor(255, 0, 0)}, {"OK", QColor(0, 255, 0)}, {"--", QColor(0, 0, 0)},
        {"ng", QColor(0, 0, 0)},   {"NG ", QColor(0, 0, 0)},  {"", QColor(0, 0, 0)},
    };
    for (const auto& [result, colour] : cases)
        addRow(*runs, {1, 0, {"NG", result, "NG", "OK", "NG", "OK", "NG", "OK", "NG"}});
    model.showRows(runs->rowCount());
    for (int row = 0; row < model.rowCount(); ++row) {
        SCOPED_TRACE(cases[row].first);
        for (int column = 0; column < 10; ++column)
            EXPECT_EQ(foreground(model, row, column), column == 2 ? cases[row].second : QColor(0, 0, 0))
                << "column " << column;
    }
}

// Rows appear one insertion at a time as checks end; Clear empties the list in one reset.
TEST_F(ResultList, RowCountFollowsTheTable) {
    std::vector<std::pair<int, int>> inserted;
    int resets = 0;
    QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex&, int first, int last) { inserted.emplace_back(first, last); });
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { ++resets; });

    EXPECT_EQ(model.rowCount(), 0);
    addRow(*runs, {1, 0, {"S1", "OK", "", "", "", "", "", "", ""}});
    model.showRows(runs->rowCount());
    addRow(*runs, {2, 0, {"S2", "NG", "", "", "", "", "", "", ""}});
    model.showRows(runs->rowCount());
    model.showRows(runs->rowCount());  // nothing new
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(inserted, (std::vector<std::pair<int, int>>{{0, 0}, {1, 1}}));
    EXPECT_EQ(resets, 0);
    EXPECT_EQ(rowTexts(model, 1)[1], QStringLiteral("S2"));

    runs->clear();
    model.showRows(runs->rowCount());
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(resets, 1);
    EXPECT_FALSE(model.index(0, 0).data(Qt::DisplayRole).isValid());

    // The next series starts again at row 0, with the new texts.
    for (int i = 0; i < 3; ++i) addRow(*runs, {i + 1, 1, {"T", "OK", "", "", "", "", "", "", ""}});
    model.showRows(runs->rowCount());
    EXPECT_EQ(inserted.back(), (std::pair<int, int>{0, 2}));
    EXPECT_EQ(rowTexts(model, 2)[0], QStringLiteral("3-1"));
}

TEST_F(ResultList, FullTableShowsEveryRowAndNoMore) {
    for (int i = 0; i < static_cast<int>(RunRecordTable::kRows); ++i) {
        RunRecord row;
        row.checkNo = i + 1;
        row.serialNo = "SN" + std::to_string(i);
        row.colResult = i % 2 == 0 ? "OK" : "NG";
        ASSERT_TRUE(runs->append(row));
    }
    ASSERT_TRUE(runs->full());
    model.showRows(runs->rowCount());
    EXPECT_EQ(model.rowCount(), 50000);
    EXPECT_EQ(rowTexts(model, 0).mid(0, 3), (QStringList{"1-0", "SN0", "OK"}));
    EXPECT_EQ(rowTexts(model, 49999).mid(0, 3), (QStringList{"50000-0", "SN49999", "NG"}));
    EXPECT_EQ(foreground(model, 49999, 2), QColor(255, 0, 0));

    // A count beyond the table's storage is held at its end.
    model.showRows(RunRecordTable::kRows + 10);
    EXPECT_EQ(model.rowCount(), 50000);
    EXPECT_FALSE(model.index(50000, 0).isValid());
}

TEST_F(ResultList, ViewScrollsTheNewestRowIntoView) {
    QTableView view;
    setUpResultView(view, model);
    view.resize(600, 200);
    view.show();
    for (int i = 0; i < 200; ++i) addRow(*runs, {i + 1, 0, {"S", "OK", "", "", "", "", "", "", ""}});
    model.showRows(runs->rowCount());
    QApplication::processEvents();

    const auto visible = [&](int row) {
        return view.viewport()->rect().contains(view.visualRect(model.index(row, 0)));
    };
    EXPECT_TRUE(visible(199));
    EXPECT_FALSE(visible(0));

    addRow(*runs, {201, 0, {"S", "NG", "", "", "", "", "", "", ""}});
    model.showRows(runs->rowCount());
    QApplication::processEvents();
    EXPECT_TRUE(visible(200));

    // Clear: an empty list, and the next row is shown at the top.
    runs->clear();
    model.showRows(0);
    addRow(*runs, {1, 0, {"S", "OK", "", "", "", "", "", "", ""}});
    model.showRows(1);
    QApplication::processEvents();
    EXPECT_EQ(view.rowAt(0), 0);
    EXPECT_TRUE(visible(0));
}

}  // namespace
}  // namespace station
