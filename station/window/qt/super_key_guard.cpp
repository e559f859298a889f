#include "station/window/qt/super_key_guard.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace station {
namespace {

// X keysyms of the two Super keys: some keymaps deliver them as Meta.
constexpr quint32 kKeysymSuperL = 0xffeb;
constexpr quint32 kKeysymSuperR = 0xffec;

}  // namespace

SuperKeyGuard::~SuperKeyGuard() { setActive(false); }

void SuperKeyGuard::setActive(bool on) {
    if (on == active_) return;
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return;
    active_ = on;
    if (on)
        app->installEventFilter(this);
    else
        app->removeEventFilter(this);
}

bool SuperKeyGuard::isSuperKey(const QKeyEvent& event) {
    const int key = event.key();
    if (key == Qt::Key_Super_L || key == Qt::Key_Super_R) return true;
    const quint32 native = event.nativeVirtualKey();
    return key == Qt::Key_Meta && (native == kKeysymSuperL || native == kKeysymSuperR);
}

bool SuperKeyGuard::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
            if (isSuperKey(*static_cast<QKeyEvent*>(event))) return true;
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace station
