#pragma once
// The UI host of the desktop program: every message, notice and question of
// the core appears as a real Qt dialog, centred on the control it concerns.
//
// Modal dialogs run their own event loop (exec), so serial events and timers
// keep being handled while they wait for the user; the one-second notice
// waits in the event loop as well. Each dialog is created for one use and
// freed before the call returns, even if its parent went away meanwhile.

#include "common/UiHost.h"

#include <QColor>

class QWidget;

class QtUiHost : public UiHost {
public:
    QtUiHost() = default;
    ~QtUiHost() override;
    QtUiHost(const QtUiHost&) = delete;
    QtUiHost& operator=(const QtUiHost&) = delete;

    void ShowMessage(QObject* Control, const QString& Text) override;
    void FlashMessage(QObject* Control, const QString& Text) override;
    int AskQuestion(QObject* Control, const QString& Question, const QString& Caption1,
                    const QString& Caption2, int DefaultButton) override;
    void PlainMessage(const QString& Text) override;
    void SetBusyCursor(bool Busy) override;
    QString AskSaveFileName(QObject* Control, const QString& DefaultName, const QString& Filter,
                            const QString& DefaultSuffix) override;

    // Object names of the dialogs and their parts, for finding them on screen.
    static constexpr const char* MessageDialogName = "MessageDialog";
    static constexpr const char* NoticeDialogName = "NoticeDialog";
    static constexpr const char* QuestionDialogName = "QuestionDialog";
    static constexpr const char* PlainMessageDialogName = "PlainMessageDialog";
    static constexpr const char* MessageTextName = "MessageText";
    static constexpr const char* OkButtonName = "OkButton";
    static constexpr const char* QuestionTextName = "QuestionText";
    static constexpr const char* Button1Name = "Button1";
    static constexpr const char* Button2Name = "Button2";

    // Background of the message box and the notice (silver).
    static inline const QColor MessageBackground = QColor(0xC0, 0xC0, 0xC0);
    // Width of the plain border inside the message box and the notice.
    static constexpr int MessageBorderWidth = 2;

    // What a message box, notice or question has for a caption: a single
    // blank. The toolkit puts the application's name in a caption left
    // empty, and some window managers put "Unnamed Window" there; a blank
    // shows nothing.
    static inline const QString NoCaption = QStringLiteral(" ");

private:
    // The widget a message concerns: Control if it is one, else the active
    // window, else none (the dialog is then centred on the screen).
    static QWidget* NearWidget(QObject* Control);
    // Text as a label shows it: a carriage return (alone or before a line
    // feed) starts a new line, as callers write their multi-line messages.
    static QString DisplayText(const QString& Text);

    bool busy_ = false;
};
