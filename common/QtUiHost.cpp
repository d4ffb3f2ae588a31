#include "common/QtUiHost.h"

#include <QApplication>
#include <QCursor>
#include <QFileDialog>
#include <QWidget>

QtUiHost::~QtUiHost() {
    // Never leave the hourglass behind once the host is gone.
    SetBusyCursor(false);
}

QWidget* QtUiHost::NearWidget(QObject* Control) {
    if (auto* widget = qobject_cast<QWidget*>(Control))
        return widget;
    return QApplication::activeWindow();
}

QString QtUiHost::DisplayText(const QString& Text) {
    QString text = Text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

void QtUiHost::SetBusyCursor(bool Busy) {
    // The cursor is a state, not a stack: asking twice for the hourglass and
    // once for the arrow gives the arrow, and the override stack stays
    // balanced.
    if (Busy == busy_)
        return;
    busy_ = Busy;
    if (Busy)
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    else
        QApplication::restoreOverrideCursor();
}

QString QtUiHost::AskSaveFileName(QObject* Control, const QString& DefaultName,
                                  const QString& Filter, const QString& DefaultSuffix) {
    QWidget* near = NearWidget(Control);
    QFileDialog dialog(near ? near->window() : nullptr);
    dialog.setAcceptMode(QFileDialog::AcceptSave); // asks before overwriting
    dialog.setDefaultSuffix(DefaultSuffix);
    dialog.setNameFilter(Filter);
    dialog.selectFile(DefaultName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}
