// The frame of a fixed dialog that must offer no title-bar button.

#include "common/StdFuncsMiscWindows.h"

Qt::WindowFlags DialogWithoutTitleButtons(bool& CaptionInside) {
#if defined(Q_OS_WIN)
    // Windows draws the caption in a title bar with no button at all.
    CaptionInside = false;
    return Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
           Qt::MSWindowsFixedSizeDialogHint;
#else
    // The window managers of X11 and Wayland put their own close, minimise
    // and maximise buttons on every title bar, whatever a window asks for
    // (openbox draws all three): the only window without them is one
    // without a title bar.
    CaptionInside = true;
    return Qt::Dialog | Qt::CustomizeWindowHint;
#endif
}
