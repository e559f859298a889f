#pragma once
// The home key window's painter, for the window on the screen and for frames rendered
// off-screen: the grey ground with the check's scene over it.
#include <QFont>
#include <QImage>
#include <optional>

#include "station/checks/logic/home_key_check.h"
#include "station/checks/logic/home_key_scene.h"

class QPainter;

namespace station::checks {

class HomeKeyPainter {
public:
    // The frame the window shows; `frame` is reused when it already has the surface's size.
    void compose(const HomeKeyCheck& check, QImage& frame) const;
    void paintScene(QPainter& p, const HomeKeyScene& scene, const Surface& s) const;

private:
    // Made on the first scene: text needs the toolkit's application with its font database.
    struct Fonts {
        QFont title, phase, hint, time, pin;
    };
    const Fonts& fonts() const;

    mutable std::optional<Fonts> fonts_;
};

}  // namespace station::checks
