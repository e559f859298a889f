#include "station/window/qt/status_panel.h"

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontInfo>
#include <QPixmap>
#include <QRect>
#include <vector>

#include "platform/clock.h"
#include "sim/virtual_bus.h"
#include "station/sequence/tests/fake_ui_port.h"

namespace station {
namespace {

struct StatusPanelPaint : ::testing::Test {
    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    sim::InProcessBackend backend{bus};
    hidlink::DeviceTable table{backend};
    FakeUiPort ui;
    Station s{table, clock, ui};

    void armed(StationState state) {
        s.recipe.recipeLoaded = true;
        s.flags.logOpen = true;
        s.state = state;
    }
};

QRgb rgbOf(std::uint32_t argb) { return static_cast<QRgb>(argb) & 0xFFFFFFu; }

// The pixels of `image` inside `area` that are exactly `argb` (alpha ignored).
struct Found {
    int count = 0;
    QRect bounds;
};
Found find(const QImage& image, QRect area, std::uint32_t argb) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    area = area.intersected(rgb.rect());
    Found found;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if ((rgb.pixel(x, y) & 0xFFFFFFu) == rgbOf(argb)) {
                ++found.count;
                found.bounds |= QRect(x, y, 1, 1);
            }
    return found;
}

// The darkest grey level inside `area`.
int darkest(const QImage& image, QRect area) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    area = area.intersected(rgb.rect());
    int level = 255;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = rgb.pixel(x, y);
            level = std::min({level, qRed(p), qGreen(p), qBlue(p)});
        }
    return level;
}

QImage paintPanel(QSize size, const PanelLook& look, const TrgLamp::Look& lamp) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);  // the panel must cover every pixel itself
    paintStatusPanel(image, look, lamp);
    return image;
}

// The lamp sits within the top right corner.
QRect lampCorner(const QImage& image) { return QRect(image.width() - 60, 0, 60, 30); }

// Every colour a word can have: a word shows its own and none of the others.
constexpr std::uint32_t kWordColours[] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF323232, 0xFF000000};

TEST_F(StatusPanelPaint, WordIsCentredInItsOwnColourOnWhite) {
    struct Case {
        const char* name;
        bool loaded;
        int logOpen;
        StationState state;
        std::uint32_t colour;
    };
    const Case cases[] = {
        {"NG", true, 1, StationState::Ng, 0xFFFF0000},
        {"OK", true, 1, StationState::Ok, 0xFF00FF00},
        {"NO TEST", true, 1, StationState::NoTest, 0xFF0000FF},
        {"CHECKING...", true, 1, StationState::Checking, 0xFF323232},
        {"PRESS 'START'", true, 0, StationState::Ng, 0xFF000000},
        {"READY", true, 1, StationState::Ready, 0xFF000000},
    };
    for (const QSize size : {QSize(600, 120), QSize(400, 90)}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << " at " << size.width() << "x" << size.height());
            s.recipe.recipeLoaded = c.loaded;
            s.flags.logOpen = c.logOpen != 0;
            s.state = c.state;
            const PanelLook look = panelLook(s.recipe, panelStateOf(s));
            ASSERT_EQ(look.text, c.name);
            // A lamp in colours no word has, so only the word is counted.
            const QImage image = paintPanel(size, look, TrgLamp::Look{0xFFF0F0F0, 0xFFFFFFFF});

            const Found word = find(image, image.rect(), c.colour);
            EXPECT_GT(word.count, 40);
            const QPointF centre = QRectF(word.bounds).center();
            EXPECT_NEAR(centre.x(), size.width() / 2.0, 4.0);
            EXPECT_NEAR(centre.y(), size.height() / 2.0 + 3.0, 8.0);
            for (const std::uint32_t other : kWordColours)
                if (other != c.colour) {
                    EXPECT_EQ(find(image, image.rect(), other).count, 0) << std::hex << other;
                }
            EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFFu, 0xFFFFFFu);
            EXPECT_EQ(image.pixel(size.width() - 1, size.height() - 1) & 0xFFFFFFu, 0xFFFFFFu);
        }
    }
}

TEST(StatusPanelLamp, BoxAndLettersByLogAndTrigger) {
    struct Case {
        const char* name;
        bool logOpen;
        bool triggered;
        int earlierPaints;
        std::uint32_t box;
        std::uint32_t letters;
        int darkestAllowed;
    };
    const Case cases[] = {
        // Before Start: white letters on a light box, nothing darker than the box.
        {"idle", false, false, 0, 0xFFF0F0F0, 0xFFFFFFFF, 0xF0},
        {"idle, triggered", false, true, 0, 0xFFF0F0F0, 0xFFFFFFFF, 0xF0},
        // Waiting: grey letters (level 225 after three paints) on the darker box.
        {"armed", true, false, 3, 0xFFC8C8C8, 0xFFE1E1E1, 0xC8},
        {"triggered", true, true, 3, 0xFFC8C8C8, 0xFFFF0000, 0},
    };
    for (const int width : {600, 300}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << " at width " << width);
            TrgLamp lamp;
            for (int i = 0; i < c.earlierPaints; ++i) lamp.paint(c.logOpen, c.triggered);
            const TrgLamp::Look look = lamp.paint(c.logOpen, c.triggered);
            const QImage image = paintPanel(QSize(width, 120), PanelLook{"OK", 0xFF00FF00, 50}, look);
            const QRect corner = lampCorner(image);

            const Found box = find(image, corner, c.box);
            ASSERT_GT(box.count, 40);
            // Centred on (width - 18, 12), moved up and left by 1.5.
            EXPECT_NEAR(QRectF(box.bounds).center().x(), width - 19.5, 1.5);
            EXPECT_NEAR(QRectF(box.bounds).center().y(), 10.5, 1.5);
            EXPECT_GT(find(image, box.bounds, c.letters).count, 5) << "the letters inside the box";
            if (c.darkestAllowed > 0) {
                EXPECT_GE(darkest(image, corner), c.darkestAllowed);
            }
            if (!c.triggered || !c.logOpen) {
                EXPECT_EQ(find(image, corner, 0xFFFF0000).count, 0);
            }
        }
    }
}

TEST(StatusPanelFont, BoldInAFamilyThatExists) {
    const QStringList families = QFontDatabase::families();
    const bool preferred = families.contains(QStringLiteral("Century Gothic"), Qt::CaseInsensitive);
    for (const int points : {10, 22, 50}) {
        const QFont font = panelFont(points);
        EXPECT_TRUE(font.bold());
        EXPECT_EQ(font.pointSize(), points);
        EXPECT_TRUE(families.contains(font.family(), Qt::CaseInsensitive)) << font.family().toStdString();
        // What is drawn is the family asked for, not a silent substitute.
        EXPECT_EQ(QFontInfo(font).family().toLower(), font.family().toLower());
        EXPECT_TRUE(QFontInfo(font).bold());
        if (preferred) {
            EXPECT_EQ(font.family().toLower(), QStringLiteral("century gothic"));
        } else {
            EXPECT_EQ(font.styleHint(), QFont::SansSerif);
        }
    }
}

TEST_F(StatusPanelPaint, WidgetShowsEachPaintAndStepsTheLampOncePerPaint) {
    StatusPanel panel(s);
    EXPECT_TRUE(panel.shownText().isEmpty());
    panel.resize(600, 120);
    armed(StationState::Ng);

    std::vector<QRgb> lamps;
    QImage shot;
    for (int i = 0; i < 3; ++i) {
        shot = panel.grab().toImage();
        lamps.push_back(panel.shownLampText());
    }
    EXPECT_EQ(lamps, (std::vector<QRgb>{0xFFFFFFFF, 0xFFF5F5F5, 0xFFEBEBEB}));
    EXPECT_EQ(panel.shownText(), QStringLiteral("NG"));
    EXPECT_GT(find(shot, shot.rect(), 0xFFFF0000).count, 40);
    EXPECT_EQ(find(shot, shot.rect(), 0xFF00FF00).count, 0);

    // A new state and size: the frame follows the widget, the word its new centre.
    s.state = StationState::Ok;
    s.flags.triggered = true;
    panel.resize(300, 80);
    shot = panel.grab().toImage();
    ASSERT_EQ(shot.size(), QSize(300, 80));
    EXPECT_EQ(panel.shownText(), QStringLiteral("OK"));
    EXPECT_EQ(panel.shownLampText(), 0xFFFF0000u);
    const Found word = find(shot, shot.rect(), 0xFF00FF00);
    EXPECT_GT(word.count, 40);
    EXPECT_NEAR(QRectF(word.bounds).center().x(), 150.0, 4.0);
    EXPECT_EQ(find(shot, shot.rect(), 0xFFFF0000).count, find(shot, lampCorner(shot), 0xFFFF0000).count)
        << "red only in the lamp";
    EXPECT_EQ(shot.pixel(299, 79) & 0xFFFFFFu, 0xFFFFFFu);
}

}  // namespace
}  // namespace station
