#include "common/DialogGeometry.h"

#include <algorithm>

namespace {

// Twenty per cent of breathing room around a measured width, to the nearest
// pixel. Whole widths times 1.2 never end in exactly .5, so the way ties
// round does not matter here.
int WithMargin(int Width) {
    return (Width * 12 + (Width >= 0 ? 5 : -5)) / 10;
}

} // namespace

std::optional<QPoint> NearControlPosition(QPoint ControlScreenOrigin, QSize ControlSize,
                                          QSize WindowSize, QSize ScreenSize) {
    // Integer division truncates toward zero, as the placement rule expects
    // for controls partly off the screen.
    const int cx = ControlScreenOrigin.x() + ControlSize.width() / 2;
    const int cy = ControlScreenOrigin.y() + ControlSize.height() / 2;
    if (cx < 0 && cy < 0)
        return std::nullopt;

    int left = std::max(0, cx - WindowSize.width() / 2);
    int top = std::max(0, cy - WindowSize.height() / 2);
    if (left + WindowSize.width() > ScreenSize.width())
        left = ScreenSize.width() - WindowSize.width();
    if (top + WindowSize.height() > ScreenSize.height() - BottomScreenMargin)
        top = ScreenSize.height() - WindowSize.height() - BottomScreenMargin;

    // A window bigger than the screen would otherwise be pushed above or left
    // of it, with its title bar and close box out of reach.
    return QPoint(std::max(0, left), std::max(0, top));
}

QuestionLayout LayoutQuestion(int EmptyLabelHeight, QSize LabelSize, int WiderCaptionTextWidth) {
    const int growth = LabelSize.height() - EmptyLabelHeight;
    const int labelWidth = LabelSize.width();
    const int buttonWidth = std::max(MinQuestionButtonWidth, WithMargin(WiderCaptionTextWidth));
    const int clientWidth = WithMargin(std::max(labelWidth, 2 * buttonWidth));
    const int gap = (clientWidth - 2 * buttonWidth) / 3;
    const int buttonTop = growth + 30;

    QuestionLayout layout;
    layout.Client = QSize(clientWidth, 60 + growth);
    layout.LabelPos = QPoint((clientWidth - labelWidth) / 2, 5);
    layout.Button1 = QRect(gap, buttonTop, buttonWidth, 25);
    layout.Button2 = QRect(2 * gap + buttonWidth, buttonTop, buttonWidth, 25);
    return layout;
}
