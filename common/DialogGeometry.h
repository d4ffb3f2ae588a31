#pragma once
// The arithmetic behind the dialog helpers, kept apart from any widget so it
// can be checked exactly: where a window goes when it is centred on a
// control, and how the two-button question dialog is laid out.

#include <QPoint>
#include <QRect>
#include <QSize>
#include <optional>

// Top-left corner for a window of WindowSize centred on a control whose
// reference point is ControlScreenOrigin (screen coordinates, relative to the
// screen's own top-left) and whose size is ControlSize, on a screen of
// ScreenSize. The window is kept on the screen: never left of or above its
// origin, never past its right edge, and ending 20 pixels above its bottom
// edge. nullopt when the control's centre lies both left of and above the
// screen origin: the window is then to be centred on the screen instead.
std::optional<QPoint> NearControlPosition(QPoint ControlScreenOrigin, QSize ControlSize,
                                          QSize WindowSize, QSize ScreenSize);

// Free space kept below a placed window, so it does not sit on a task bar.
inline constexpr int BottomScreenMargin = 20;

// Client area, label position and the two button rectangles of a question.
struct QuestionLayout {
    QSize Client;
    QPoint LabelPos;
    QRect Button1;
    QRect Button2;
};

// Lays out a question whose auto-sized label measures EmptyLabelHeight high
// while empty and LabelSize with the question in it; WiderCaptionTextWidth is
// the text width of the wider button caption in the label's font. Buttons are
// at least 60 pixels wide, 25 high, and move down with every extra line.
QuestionLayout LayoutQuestion(int EmptyLabelHeight, QSize LabelSize, int WiderCaptionTextWidth);

// Smallest width of a question button.
inline constexpr int MinQuestionButtonWidth = 60;
