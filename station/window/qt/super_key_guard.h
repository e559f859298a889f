#pragma once
// While a recipe has the home key check, the Super keys must not open the desktop's menus over
// the check windows: an application-wide filter swallows their presses and releases. It sees
// only what reaches this application; the desktop's own shortcuts are taken before that.
#include <QObject>

class QKeyEvent;

namespace station {

class SuperKeyGuard final : public QObject {
public:
    explicit SuperKeyGuard(QObject* parent = nullptr) : QObject(parent) {}
    ~SuperKeyGuard() override;

    void setActive(bool on);
    bool active() const { return active_; }

    // A left or right Super key, also when the platform reports it as Meta.
    static bool isSuperKey(const QKeyEvent& event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool active_ = false;
};

}  // namespace station
