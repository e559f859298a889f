#pragma once
// The result list holds no rows of its own: row i is row i of the run record table, and the
// list shows exactly the table's row count.
#include <QAbstractTableModel>
#include <array>
#include <cstddef>

#include "station/sequence/run_record.h"

namespace station {

class ResultListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumns = 10;
    // "NO", "S/N", "RESULT", "CODE", "COM", "F/W", "SHORT", "OPEN", "RAW", "DRAW".
    static const std::array<const char*, kColumns> kTitles;
    static const std::array<int, kColumns> kWidths;

    explicit ResultListModel(const RunRecordTable& runs, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // Text ("%d-%d" in "NO"), centred alignment, and the RESULT cell red for "NG", green for
    // "OK", black otherwise.
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The table's row count is now `count` (a check added a row, or Clear emptied the table).
    void showRows(std::size_t count);

private:
    const RunRecordTable& runs_;
    int shown_ = 0;
};

}  // namespace station
