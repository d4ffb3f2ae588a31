#include "common/EventWait.h"
#include "common/QtUiHost.h"
#include "common/StdFuncsMiscWindows.h"
#include "common/Timing.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

constexpr Qt::WindowFlags MessageFlags =
    Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

// Long texts wrap at half the screen width instead of making a box wider
// than the screen.
void LimitLabelWidth(QLabel* Label, QWidget* Near) {
    QScreen* screen = Near ? Near->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const int maxWidth = screen->geometry().width() / 2;
    if (Label->sizeHint().width() <= maxWidth)
        return;
    Label->setWordWrap(true);
    Label->setFixedWidth(maxWidth);
    Label->setMinimumHeight(Label->heightForWidth(maxWidth));
}

// The message box of the program: no icon, no caption, silver, with a thin
// plain border, and an "OK" button unless it is a notice.
QDialog* CreateMessageBox(QWidget* Near, const QString& Text, bool WithOkButton, const char* Name) {
    auto* dialog = new QDialog(Near ? Near->window() : nullptr, MessageFlags);
    dialog->setObjectName(QLatin1String(Name));
    dialog->setWindowTitle(QtUiHost::NoCaption);
    QPalette palette = dialog->palette();
    palette.setColor(QPalette::Window, QtUiHost::MessageBackground);
    dialog->setPalette(palette);
    dialog->setAutoFillBackground(true);
    const int border = QtUiHost::MessageBorderWidth;
    dialog->setContentsMargins(border, border, border, border);

    auto* layout = new QVBoxLayout(dialog);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Plain text: replies from the handbox may contain "<" and "&".
    auto* label = new QLabel(dialog);
    label->setObjectName(QLatin1String(QtUiHost::MessageTextName));
    label->setTextFormat(Qt::PlainText);
    label->setText(Text);
    LimitLabelWidth(label, Near);
    layout->addWidget(label);

    if (WithOkButton) {
        auto* ok = new QPushButton(QStringLiteral("OK"), dialog);
        ok->setObjectName(QLatin1String(QtUiHost::OkButtonName));
        ok->setDefault(true);
        QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
        auto* row = new QHBoxLayout;
        row->addStretch();
        row->addWidget(ok);
        row->addStretch();
        layout->addLayout(row);
        ok->setFocus();
    }
    dialog->adjustSize();
    return dialog;
}

} // namespace

void QtUiHost::ShowMessage(QObject* Control, const QString& Text) {
    QWidget* near = NearWidget(Control);
    // The dialog may be destroyed with its parent while its loop runs (a
    // window closed from a timer); the guard then reads null.
    QPointer<QDialog> dialog = CreateMessageBox(near, DisplayText(Text), true, MessageDialogName);
    PlaceNearControl(near, dialog);
    dialog->exec();
    delete dialog;
}

void QtUiHost::FlashMessage(QObject* Control, const QString& Text) {
    QWidget* near = NearWidget(Control);
    QPointer<QDialog> dialog = CreateMessageBox(near, DisplayText(Text), false, NoticeDialogName);
    PlaceNearControl(near, dialog);
    dialog->show();
    ProcessPendingMessages();
    WaitInEventLoop(Timing::NoticeMs);
    if (dialog)
        dialog->close();
    delete dialog;
}

void QtUiHost::PlainMessage(const QString& Text) {
    QPointer<QMessageBox> box =
        new QMessageBox(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(),
                        DisplayText(Text), QMessageBox::Ok, QApplication::activeWindow());
    box->setObjectName(QLatin1String(PlainMessageDialogName));
    box->setTextFormat(Qt::PlainText);
    if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
        ok->setObjectName(QLatin1String(OkButtonName));
        ok->setText(QStringLiteral("OK"));
    }
    box->exec();
    delete box;
}
