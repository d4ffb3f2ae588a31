#include "common/DialogGeometry.h"
#include "common/StdFuncsMiscWindows.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

// A form is measured from a point just outside its client area, where its
// frame begins, so the window lands on the middle of the whole form.
constexpr QPoint FormReferencePoint(-4, -23);

QScreen* ScreenOf(QWidget* Control) {
    QScreen* screen = Control ? Control->screen() : nullptr;
    return screen ? screen : QGuiApplication::primaryScreen();
}

void CentreOnScreen(QWidget* Window, const QRect& Screen, QSize WindowSize) {
    Window->move(Screen.x() + (Screen.width() - WindowSize.width()) / 2,
                 Screen.y() + (Screen.height() - WindowSize.height()) / 2);
}

} // namespace

void PlaceNearControl(QWidget* Control, QWidget* Window) {
    if (!Window)
        return;
    QScreen* screen = ScreenOf(Control);
    if (!screen)
        return;
    const QRect screenRect = screen->geometry();
    const QSize windowSize = Window->frameGeometry().size();
    if (!Control) {
        CentreOnScreen(Window, screenRect, windowSize);
        return;
    }

    const bool isForm = Control->isWindow();
    const QPoint origin = Control->mapToGlobal(isForm ? FormReferencePoint : QPoint(0, 0));
    const QSize controlSize = isForm ? Control->frameGeometry().size() : Control->size();

    // The arithmetic works in the screen's own coordinates; a second monitor
    // starts somewhere else in the virtual desktop.
    const std::optional<QPoint> position = NearControlPosition(
        origin - screenRect.topLeft(), controlSize, windowSize, screenRect.size());
    if (!position) {
        CentreOnScreen(Window, screenRect, windowSize);
        return;
    }
    Window->move(*position + screenRect.topLeft());
}
