#pragma once
// What the core asks of the small processing window that long searches show
// (its caption, two status lines, a progress bar and a Cancel button that
// stays disabled while the owner works). The desktop program shows a real
// window; tests and the command-line tool record or print the lines.

#include <QString>

class TProcessingBox {
public:
    virtual ~TProcessingBox() = default;
    virtual void SetCaption(const QString& Caption) = 0;
    virtual void SetLabel1(const QString& Text) = 0;
    virtual void SetLabel2(const QString& Text) = 0;
    virtual void SetProgress(int Minimum, int Maximum, int Position) = 0;
    // Shows the window without waiting (its lines are emptied as it appears).
    virtual void Show() = 0;
    // The owner's work is over: Cancel may now close the window.
    virtual void EnableCancel() = 0;
    virtual void Close() = 0;
};
