#include "station/viewers/qt/pin_viewer_window.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace station::viewers {
namespace {

constexpr int kPictureSize = 16;

QString text(std::string_view t) { return QString::fromLatin1(t.data(), static_cast<qsizetype>(t.size())); }
QColor colour(std::uint32_t argb) { return QColor::fromRgba(argb); }

QLineEdit* numberField(QWidget* parent, const char* name, std::uint16_t value) {
    auto* field = new QLineEdit(QString::number(value), parent);
    field->setObjectName(QString::fromLatin1(name));
    field->setValidator(new QIntValidator(0, 65535, field));
    field->setMaximumWidth(70);
    return field;
}

QLabel* square(QWidget* parent, const char* name, std::uint32_t argb) {
    QPixmap fill(kPictureSize, kPictureSize);
    fill.fill(colour(argb));
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setPixmap(fill);
    return label;
}

}  // namespace

QPixmap PinViewerWindow::pinPicture(int state) {
    QPixmap picture(kPictureSize, kPictureSize);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    const bool good = state == PinGood;
    p.setPen(Qt::NoPen);
    p.setBrush(good ? QColor(0x20, 0xB0, 0x20) : QColor(0xE0, 0x20, 0x20));
    p.drawEllipse(QRectF(1, 1, kPictureSize - 2, kPictureSize - 2));
    p.setPen(QPen(Qt::white, 2));
    if (good) {
        p.drawLine(QPointF(4.5, 8.5), QPointF(7, 11));
        p.drawLine(QPointF(7, 11), QPointF(11.5, 5));
    } else {
        p.drawLine(QPointF(5, 5), QPointF(11, 11));
        p.drawLine(QPointF(11, 5), QPointF(5, 11));
    }
    return picture;
}

QPixmap PinViewerWindow::errorPicture() {
    QPixmap picture(24, 24);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF corners[3] = {{12, 1.5}, {22.5, 21.5}, {1.5, 21.5}};
    p.setPen(QPen(QColor(0x80, 0x50, 0x00), 1));
    p.setBrush(QColor(0xFF, 0xC8, 0x00));
    p.drawPolygon(corners, 3);
    p.setPen(QPen(Qt::black, 2.5));
    p.drawLine(QPointF(12, 8), QPointF(12, 14.5));
    p.drawPoint(QPointF(12, 18));
    return picture;
}

PinViewerWindow::PinViewerWindow(const PinViewerInputs& inputs, QWidget* parent) : QDialog(parent), viewer_(inputs) {
    setWindowTitle(QStringLiteral("PinCheck Viewer"));
    setSizeGripEnabled(true);
    const std::string probePath = platform::ProbeFile::pathFromEnvironment();
    if (!probePath.empty()) probe_ = std::make_unique<platform::ProbeFile>(probePath + ".pin");
    buildControls();
    showState();
}

PinViewerWindow::~PinViewerWindow() = default;

void PinViewerWindow::buildControls() {
    c_.table = new QTableWidget(kPinRows, kPinColumns, this);
    c_.table->setObjectName("pinTable");
    c_.table->setShowGrid(true);
    c_.table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    c_.table->setSelectionMode(QAbstractItemView::NoSelection);
    c_.table->setIconSize(QSize(kPictureSize, kPictureSize));
    c_.table->verticalHeader()->setVisible(false);
    c_.table->verticalHeader()->setDefaultSectionSize(20);
    for (int col = 0; col < kPinColumns; ++col) {
        const PinColumn& layout = kPinColumnsLayout[static_cast<std::size_t>(col)];
        c_.table->setHorizontalHeaderItem(col, new QTableWidgetItem(text(layout.title)));
        c_.table->setColumnWidth(col, layout.width);
        for (int row = 0; row < kPinRows; ++row) {
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignCenter);
            item->setForeground(colour(PinViewer::cellTextColour(col)));
            c_.table->setItem(row, col, item);
        }
    }

    c_.grid = new PinGridArea(viewer_, this);
    c_.grid->setObjectName("pinGrid");

    c_.check = new QPushButton(QStringLiteral("Check"), this);
    c_.check->setObjectName("check");
    c_.clear = new QPushButton(QStringLiteral("Clear"), this);
    c_.clear->setObjectName("clear");
    for (QPushButton* b : {c_.check, c_.clear}) b->setAutoDefault(false);
    connect(c_.check, &QPushButton::clicked, this, &PinViewerWindow::check);
    connect(c_.clear, &QPushButton::clicked, this, &PinViewerWindow::clear);

    c_.shortView = new QRadioButton(QStringLiteral("Short"), this);
    c_.shortView->setObjectName("shortView");
    c_.openView = new QRadioButton(QStringLiteral("Open"), this);
    c_.openView->setObjectName("openView");
    c_.shortView->setChecked(true);
    connect(c_.openView, &QRadioButton::toggled, this, [this](bool open) {
        viewer_.showOpenView(open);
        showState();
    });

    c_.waitTime = numberField(this, "waitTime", viewer_.waitTime());
    c_.shortThreshold = numberField(this, "shortThreshold", viewer_.shortThreshold());
    c_.openThreshold = numberField(this, "openThreshold", viewer_.openThreshold());

    c_.passPicture = new QLabel(this);
    c_.passPicture->setObjectName("passPicture");
    c_.passPicture->setPixmap(pinPicture(PinGood));
    c_.failPicture = new QLabel(this);
    c_.failPicture->setObjectName("failPicture");
    c_.failPicture->setPixmap(pinPicture(PinFaulty));
    c_.passSquare = square(this, "passSquare", kLegendPass);
    c_.failSquare = square(this, "failSquare", kLegendFail);
    c_.passText = new QLabel(this);
    c_.passText->setObjectName("passText");
    c_.failText = new QLabel(this);
    c_.failText->setObjectName("failText");
    c_.errorPicture = new QLabel(this);
    c_.errorPicture->setObjectName("errorPicture");
    c_.errorPicture->setPixmap(errorPicture());
    c_.errorText = new QLineEdit(this);
    c_.errorText->setObjectName("errorText");
    c_.errorText->setReadOnly(true);
    c_.errorText->setFocusPolicy(Qt::NoFocus);

    auto* side = new QVBoxLayout;
    side->addWidget(c_.check);
    side->addWidget(c_.clear);
    side->addSpacing(8);
    side->addWidget(c_.shortView);
    side->addWidget(c_.openView);
    auto* fields = new QGridLayout;
    const std::pair<const char*, QLineEdit*> rows[] = {
        {"Wait Time", c_.waitTime}, {"ShortThreshold", c_.shortThreshold}, {"OpenThreshold", c_.openThreshold}};
    int row = 0;
    for (const auto& [label, field] : rows) {
        fields->addWidget(new QLabel(QString::fromLatin1(label), this), row, 0);
        fields->addWidget(field, row, 1);
        ++row;
    }
    side->addLayout(fields);
    auto* legend = new QGridLayout;
    legend->addWidget(c_.passPicture, 0, 0);
    legend->addWidget(c_.passSquare, 0, 1);
    legend->addWidget(c_.passText, 0, 2);
    legend->addWidget(c_.failPicture, 1, 0);
    legend->addWidget(c_.failSquare, 1, 1);
    legend->addWidget(c_.failText, 1, 2);
    legend->setColumnStretch(2, 1);
    side->addLayout(legend);
    side->addSpacing(8);
    side->addWidget(new QLabel(QStringLiteral("error flags"), this));
    auto* error = new QHBoxLayout;
    error->addWidget(c_.errorPicture);
    error->addWidget(c_.errorText, 1);
    side->addLayout(error);
    side->addStretch(1);

    auto* views = new QVBoxLayout;
    views->addWidget(c_.table, 1);
    views->addWidget(c_.grid, 1);
    auto* body = new QHBoxLayout;
    body->addLayout(views, 1);
    body->addLayout(side);

    c_.status = new QStatusBar(this);
    c_.status->setObjectName("status");
    c_.status->setSizeGripEnabled(false);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(6, 6, 6, 0);
    outer->addLayout(body, 1);
    outer->addWidget(c_.status);

    // The table takes its ten columns' width; the window never opens smaller.
    int tableWidth = 4;
    for (const PinColumn& col : kPinColumnsLayout) tableWidth += col.width;
    c_.table->setMinimumWidth(tableWidth + 20);
    resize(860, 560);
    setMinimumSize(size().expandedTo(minimumSizeHint()));
}

void PinViewerWindow::check() {
    viewer_.setWaitTime(static_cast<std::uint16_t>(c_.waitTime->text().toUInt()));
    viewer_.setShortThreshold(static_cast<std::uint16_t>(c_.shortThreshold->text().toUInt()));
    viewer_.setOpenThreshold(static_cast<std::uint16_t>(c_.openThreshold->text().toUInt()));
    viewer_.check();
    showState();
}

void PinViewerWindow::clear() {
    viewer_.clear();
    showState();
}

void PinViewerWindow::showState() {
    static const QPixmap good = pinPicture(PinGood);
    static const QPixmap faulty = pinPicture(PinFaulty);
    for (int row = 0; row < kPinRows; ++row) {
        for (int col = 0; col < kPinColumns; ++col) {
            QTableWidgetItem* item = c_.table->item(row, col);
            const QString shown = text(viewer_.cellText(row, col));
            if (item->text() != shown) item->setText(shown);
            item->setBackground(colour(viewer_.cellBackground(row, col)));
            const int picture = viewer_.cellPicture(row, col);
            item->setIcon(picture == PinGood ? QIcon(good) : picture == PinFaulty ? QIcon(faulty) : QIcon());
        }
    }
    c_.table->setVisible(viewer_.tableVisible());
    c_.grid->setVisible(viewer_.gridVisible());
    c_.passPicture->setVisible(viewer_.legendPicturesVisible());
    c_.failPicture->setVisible(viewer_.legendPicturesVisible());
    c_.passSquare->setVisible(viewer_.legendSquaresVisible());
    c_.failSquare->setVisible(viewer_.legendSquaresVisible());
    c_.passText->setText(text(PinViewer::passText()));
    c_.failText->setText(text(PinViewer::failText()));
    c_.errorPicture->setVisible(viewer_.errorPictureVisible());
    c_.errorText->setText(text(viewer_.errorText()));
    c_.status->showMessage(text(viewer_.statusText()));
    c_.grid->update();
    writeProbe();
}

void PinViewerWindow::writeProbe() {
    if (!probe_) return;
    const QRect frame = frameGeometry();
    const QPoint check = c_.check->mapToGlobal(c_.check->rect().center());
    probe_->set("title", windowTitle().toStdString());
    probe_->set("geometry", std::to_string(frame.x()) + " " + std::to_string(frame.y()) + " " +
                                std::to_string(frame.width()) + " " + std::to_string(frame.height()));
    probe_->set("check", std::to_string(check.x()) + " " + std::to_string(check.y()));
    probe_->set("status", c_.status->currentMessage().toStdString());
    probe_->set("error", c_.errorText->text().toStdString());
    // "rx 12 vdd" for every NG cell: the faulty pins as the table shows them.
    std::string ng;
    for (int row = 0; row < kPinRows; ++row) {
        const std::pair<int, const char*> cells[] = {
            {2, "rx %d vdd"}, {3, "rx %d gnd"}, {7, "tx %d vdd"}, {8, "tx %d gnd"}};
        for (const auto& [col, format] : cells) {
            if (c_.table->item(row, col)->text() != QLatin1String("NG")) continue;
            if (!ng.empty()) ng += ",";
            ng += QString::asprintf(format, row).toStdString();
        }
    }
    probe_->set("ng", ng);
    probe_->flush();
}

PinGridArea::PinGridArea(const PinViewer& viewer, QWidget* parent) : QWidget(parent), viewer_(viewer) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(300, 200);
}

void PinGridArea::paintEvent(QPaintEvent*) {
    // Painted whole into the widget's backing store, then shown.
    QPainter p(this);
    p.fillRect(rect(), palette().button());
    p.setPen(palette().mid().color());
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    const auto rx = static_cast<int>(viewer_.rxCount());
    const auto tx = static_cast<int>(viewer_.txCount());
    const PinGrid grid(Rect{0, 0, width(), height()}, viewer_.rxCount(), viewer_.txCount());
    QFont font = p.font();
    font.setPointSize(9);
    p.setFont(font);
    const double right = 40 + (rx + 1) * grid.cellWidth;
    const double bottom = 40 + (tx + 1) * grid.cellHeight;
    for (int i = 1; i <= rx; ++i) {
        const PinGridLine line = grid.vertical(i);
        p.setPen(colour(line.style.colour));
        p.drawLine(QPointF(line.position, line.style.startOffset), QPointF(line.position, bottom));
        if (line.numbered) {
            p.setPen(Qt::black);
            p.drawText(QPointF(line.position + 2, 28), QString::number(i - 1));
        }
    }
    for (int i = 1; i <= tx; ++i) {
        const PinGridLine line = grid.horizontal(i);
        p.setPen(colour(line.style.colour));
        p.drawLine(QPointF(line.style.startOffset, line.position), QPointF(right, line.position));
        if (line.numbered) {
            p.setPen(Qt::black);
            p.drawText(QPointF(4, line.position - 2), QString::number(i - 1));
        }
    }
    p.setPen(Qt::black);
    p.drawText(QPointF(right - 30, 12), QStringLiteral("[Rx]"));
    p.drawText(QPointF(4, height() - 6), QStringLiteral("[Tx]"));
}

void PinViewerWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    QTimer::singleShot(0, this, &PinViewerWindow::writeProbe);
}

void PinViewerWindow::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    QTimer::singleShot(0, this, &PinViewerWindow::writeProbe);
}

void PinViewerWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    QTimer::singleShot(0, this, &PinViewerWindow::writeProbe);
}

}  // namespace station::viewers
