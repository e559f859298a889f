#include "station/viewers/qt/raw_viewer_window.h"

#include <QCheckBox>
#include <QDoubleValidator>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>

#include "station/viewers/qt/raw_viewer_areas.h"
#include "station/viewers/qt/viewer_controls.h"

namespace station::viewers {
namespace {

constexpr std::array<const char*, kRawViews> kViewButtons = {"Raw", "Ave", "Sigma", "Diff", "Upper", "Lower", "Error"};
// The view radio buttons in the window's order.
constexpr std::array<RawView, kRawViews> kButtonOrder = {
    RawView::Raw, RawView::Average, RawView::Sigma, RawView::Diff, RawView::Upper, RawView::Lower, RawView::Error};
// About a second of frames at the controller's pace (some 110 a second): the window's thread
// may stall that long on a busy station PC, and a frame lost is a gap in the running average.
// 128 frames of 13.5 KiB, made when the window opens.
constexpr std::size_t kFrameRing = 128;
// The probe is rewritten at most this often while frames stream.
constexpr int kProbeMs = 200;

// The logic's texts end lines in CR LF (and some in a stray LF); the status bar wants neither.
QString shownText(std::string_view text) {
    QString out = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    out.remove(QLatin1Char('\r'));
    while (out.endsWith(QLatin1Char('\n'))) out.chop(1);
    return out;
}

// The label's texts are fixed words: compared without a new string.
void setIfChanged(QLabel* label, std::string_view text) {
    const QLatin1StringView latin(text.data(), static_cast<qsizetype>(text.size()));
    if (label->text() != latin) label->setText(latin);
}

}  // namespace

RawViewerWindow::RawViewerWindow(const RawViewerSetup& setup, QWidget* parent)
    : QDialog(parent),
      poster_(
          *this, [this] { takeFrames(); }, kFrameRing),
      frame_(std::make_unique<controllerlink::ImageFrame>()),
      appendMessage_(setup.appendMessage) {
    viewer_ = std::make_unique<RawViewer>(RawViewerInputs{.device = setup.device,
                                                          .lastRaw = setup.lastRaw,
                                                          .lastDiff = setup.lastDiff,
                                                          .upperMap = setup.upperMap,
                                                          .lowerMap = setup.lowerMap,
                                                          .recipe = setup.recipe,
                                                          .marginsAvailable = setup.marginsAvailable,
                                                          .frameSink = poster_,
                                                          .clock = setup.clock,
                                                          .ticks = setup.ticks,
                                                          .tableAccess = setup.tableAccess,
                                                          .dumpFolder = setup.dumpFolder});
    setWindowTitle(QStringLiteral("Raw Data Viewer"));
    setSizeGripEnabled(true);
    const std::string probePath = platform::ProbeFile::pathFromEnvironment();
    if (!probePath.empty()) probe_ = std::make_unique<platform::ProbeFile>(probePath + ".raw");
    buildControls();
    showState();
}

// The reader (if this window started it) ends with the logic, before the poster it feeds goes.
RawViewerWindow::~RawViewerWindow() { viewer_.reset(); }

void RawViewerWindow::buildControls() {
    auto button = [this](const char* text, const char* name) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    c_.start = button("START", "start");
    c_.stop = button("STOP", "stop");
    c_.clear = button("CLEAR", "clear");
    c_.reload = button("RELOAD CSV", "reload");
    connect(c_.start, &QPushButton::clicked, this, [this] {
        viewer_->start();
        showState();
    });
    connect(c_.stop, &QPushButton::clicked, this, [this] {
        viewer_->stop();
        showState();
    });
    connect(c_.clear, &QPushButton::clicked, this, [this] {
        viewer_->clear();
        showState();
    });
    connect(c_.reload, &QPushButton::clicked, this, [this] {
        viewer_->reloadCsv();
        if (appendMessage_)
            for (const std::string& m : viewer_->reloadMessages()) appendMessage_(m);
        showState();
    });
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {c_.start, c_.stop, c_.clear, c_.reload}) buttons->addWidget(b);

    auto* views = new QGridLayout;
    for (std::size_t i = 0; i < kButtonOrder.size(); ++i) {
        const RawView view = kButtonOrder[i];
        auto* radio = new QRadioButton(QString::fromLatin1(kViewButtons[i]), this);
        radio->setObjectName(QStringLiteral("view%1").arg(static_cast<int>(view)));
        c_.views[static_cast<std::size_t>(view)] = radio;
        views->addWidget(radio, static_cast<int>(i) % 4, static_cast<int>(i) / 4);
        connect(radio, &QRadioButton::toggled, this, [this, view](bool on) {
            if (!on) return;
            viewer_->setView(view);
            showState();
        });
    }
    c_.views[0]->setChecked(true);
    c_.autoRange = new QCheckBox(QStringLiteral("Auto Range"), this);
    c_.autoRange->setObjectName("autoRange");
    c_.autoRange->setChecked(viewer_->autoRange());
    connect(c_.autoRange, &QCheckBox::toggled, this, [this](bool on) {
        viewer_->setAutoRange(on);
        showState();
    });
    views->addWidget(c_.autoRange, 3, 1);

    c_.frameRate = new TextField(Qt::AlignRight | Qt::AlignVCenter, 1, this);
    c_.frameRate->setObjectName("frameRate");
    c_.frameRate->setFixedWidth(70);
    auto* rate = new QHBoxLayout;
    rate->addWidget(c_.frameRate);
    rate->addWidget(new QLabel(QStringLiteral("fps"), this));
    rate->addStretch(1);

    c_.statisticsLabel = new QLabel(this);
    c_.statisticsLabel->setObjectName("statisticsLabel");
    c_.labelStep = new UpDownControl(this);
    c_.labelStep->setObjectName("labelStep");
    connect(c_.labelStep, &UpDownControl::stepped, this, [this](int delta) {
        viewer_->stepLabel(delta);
        showState();
    });
    auto* label = new QHBoxLayout;
    label->addWidget(c_.statisticsLabel, 1);
    label->addWidget(c_.labelStep);
    // Seven lines: the noise's worst values take the most.
    c_.statistics = new TextField(Qt::AlignLeft | Qt::AlignTop, 7, this);
    c_.statistics->setObjectName("statistics");
    c_.statistics->setMaximumWidth(190);

    auto* left = new QVBoxLayout;
    left->addLayout(buttons);
    left->addSpacing(8);
    left->addLayout(views);
    left->addLayout(rate);
    left->addLayout(label);
    left->addWidget(c_.statistics);
    left->addStretch(1);

    c_.map = new RawMapArea(*viewer_, *this, this);
    c_.map->setObjectName("map");
    c_.colourBar = new ColourBarArea(*viewer_, this);
    c_.colourBar->setObjectName("colourBar");
    c_.noise = new NoiseArea(*viewer_, *this, this);
    c_.noise->setObjectName("noise");
    c_.rangeMin = new QLineEdit(QString::number(viewer_->manualMin()), this);
    c_.rangeMin->setObjectName("rangeMin");
    c_.rangeMax = new QLineEdit(QString::number(viewer_->manualMax()), this);
    c_.rangeMax->setObjectName("rangeMax");
    for (QLineEdit* field : {c_.rangeMin, c_.rangeMax}) {
        field->setValidator(new QDoubleValidator(field));
        field->setMaximumWidth(80);
    }
    // The range labels change with every frame while the range follows the data.
    c_.minLabel = new TextField(Qt::AlignLeft | Qt::AlignVCenter, 1, this);
    c_.minLabel->setObjectName("minLabel");
    c_.maxLabel = new TextField(Qt::AlignRight | Qt::AlignVCenter, 1, this);
    c_.maxLabel->setObjectName("maxLabel");
    for (TextField* text : {c_.minLabel, c_.maxLabel}) {
        text->setFrameStyle(QFrame::NoFrame);
        text->setAutoFillBackground(false);
        text->setMinimumWidth(text->fontMetrics().horizontalAdvance(QStringLiteral("min (-000000)")));
    }
    auto* bar = new QHBoxLayout;
    bar->addWidget(c_.rangeMin);
    bar->addWidget(c_.minLabel);
    bar->addWidget(c_.colourBar, 1);
    bar->addWidget(c_.maxLabel);
    bar->addWidget(c_.rangeMax);

    auto* right = new QVBoxLayout;
    right->addLayout(bar);
    right->addWidget(c_.map, 3);
    right->addWidget(c_.noise, 1);

    auto* body = new QHBoxLayout;
    body->addLayout(left);
    body->addLayout(right, 1);

    c_.status = new QStatusBar(this);
    c_.status->setObjectName("status");
    c_.status->setSizeGripEnabled(false);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(6, 6, 6, 0);
    outer->addLayout(body, 1);
    outer->addWidget(c_.status);

    // The operator's keys reach the logic before any control takes them.
    for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);
    installEventFilter(this);

    // Never smaller than it opens.
    resize(900, 640);
    setMinimumSize(size().expandedTo(minimumSizeHint()));
}

void RawViewerWindow::showState() {
    if (c_.status == nullptr) return;  // still building
    const RawViewer& v = *viewer_;
    c_.start->setEnabled(v.startEnabled());
    c_.stop->setEnabled(v.stopEnabled());
    for (int i = 0; i < kRawViews; ++i)
        c_.views[static_cast<std::size_t>(i)]->setEnabled(v.viewEnabled(static_cast<RawView>(i)));
    c_.frameRate->setText(v.frameRateText());
    setIfChanged(c_.statisticsLabel, v.labelText());
    c_.statistics->setText(v.statisticsText());
    if (v.statusText() != shownStatus_.view()) {
        shownStatus_.set(v.statusText());
        c_.status->showMessage(shownText(shownStatus_.view()));
    }
    const MapRange range = mapRange(v);
    c_.minLabel->setText(range.minLabel.view());
    c_.maxLabel->setText(range.maxLabel.view());
    repaintAreas();
    scheduleProbe();
}

void RawViewerWindow::repaintAreas() {
    c_.map->update();
    c_.colourBar->update();
    c_.noise->update();
}

void RawViewerWindow::takeFrames() {
    std::uint32_t status = 0;
    bool any = false;
    while (poster_.take(*frame_, status)) {
        viewer_->handleFrame(status, *frame_);
        ++framesHandled_;
        if (status != 0) ++framesRefused_;
        any = true;
    }
    if (any) showState();
}

void RawViewerWindow::applyRange() {
    viewer_->setManualRange(c_.rangeMin->text().toDouble(), c_.rangeMax->text().toDouble());
    showState();
}

bool RawViewerWindow::handleKey(QObject* watched, int key, Qt::KeyboardModifiers modifiers) {
    if ((modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0) return false;
    const bool inRangeField = watched == c_.rangeMin || watched == c_.rangeMax;
    bool taken = false;
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            taken = viewer_->key(RawKey::Enter, inRangeField);
            if (taken) applyRange();
            return taken;
        case Qt::Key_Space:
            taken = viewer_->key(RawKey::Space);
            break;
        case Qt::Key_E:
            taken = viewer_->key(RawKey::E);
            break;
        case Qt::Key_R:
            taken = viewer_->key(RawKey::R);
            break;
        case Qt::Key_S:
            taken = viewer_->key(RawKey::S);
            break;
        case Qt::Key_T:
            taken = viewer_->key(RawKey::T);
            if (!viewer_->tooltipRelay()) QToolTip::hideText();
            break;
        default:
            return false;
    }
    if (taken) showState();
    return taken;
}

bool RawViewerWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // Counted at the control with the focus, or at the window when none took it.
        QWidget* target = focusWidget() != nullptr ? focusWidget() : this;
        if ((watched == target || watched == this) && handleKey(watched, key->key(), key->modifiers())) return true;
    }
    return QDialog::eventFilter(watched, event);
}

void RawViewerWindow::pointerMoved(QWidget& area, const QPoint& at, const QPoint& global) {
    if (&area == c_.map)
        mapTooltip(*viewer_, c_.map->geometryNow(), at.x(), at.y(), tip_);
    else if (&area == c_.noise)
        noiseTooltip(*viewer_, c_.noise->chartNow(), at.x(), at.y(), tip_);
    else
        tip_.clear();
    QString text = shownText(tip_.view());
    text.replace(QLatin1Char('\t'), QLatin1String("  "));
    if (text != lastTooltip_) {
        lastTooltip_ = text;
        scheduleProbe();
    }
    if (!viewer_->tooltipRelay()) return;
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(global, text, &area);
}

QPoint RawViewerWindow::cellOnScreen(int tx, int rx) const {
    const MapGeometry g = c_.map->geometryNow();
    const QPointF centre(g.cellLeft(rx) + g.cellWidth / 2, g.cellTop(tx) + g.cellHeight / 2);
    return c_.map->mapToGlobal(centre.toPoint());
}

// ---- The probe: what the real-display tests read back ----

void RawViewerWindow::scheduleProbe() {
    if (!probe_ || probeScheduled_) return;
    probeScheduled_ = true;
    QTimer::singleShot(kProbeMs, this, &RawViewerWindow::writeProbe);
}

void RawViewerWindow::writeProbe() {
    probeScheduled_ = false;
    if (!probe_) return;
    const auto point = [](const QPoint& p) { return std::to_string(p.x()) + " " + std::to_string(p.y()); };
    const QRect frame = frameGeometry();
    probe_->set("title", windowTitle().toStdString());
    probe_->set("geometry", std::to_string(frame.x()) + " " + std::to_string(frame.y()) + " " +
                                std::to_string(frame.width()) + " " + std::to_string(frame.height()));
    probe_->set("status", c_.status->currentMessage().toStdString());
    probe_->set("fps", c_.frameRate->text().toStdString());
    probe_->set("frames", std::to_string(framesHandled_));
    probe_->set("start", std::string(c_.start->isEnabled() ? "enabled " : "disabled ") +
                             point(c_.start->mapToGlobal(c_.start->rect().center())));
    probe_->set("cell_0_0", point(cellOnScreen(0, 0)));
    probe_->set("tooltip", lastTooltip_.toStdString());
    probe_->flush();
}

void RawViewerWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    scheduleProbe();
}

void RawViewerWindow::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    scheduleProbe();
}

void RawViewerWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    scheduleProbe();
}

}  // namespace station::viewers
