#include "common/DialogGeometry.h"
#include "common/QtUiHost.h"
#include "common/StdFuncsMiscWindows.h"

#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <algorithm>

namespace {

constexpr Qt::WindowFlags QuestionFlags = Qt::Dialog | Qt::WindowTitleHint |
                                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                                          Qt::MSWindowsFixedSizeDialogHint;

QPushButton* AddAnswerButton(QDialog* Dialog, const QString& Caption, const char* Name,
                             const QRect& Geometry, int Answer) {
    auto* button = new QPushButton(Caption, Dialog);
    button->setObjectName(QLatin1String(Name));
    button->setGeometry(Geometry);
    QObject::connect(button, &QPushButton::clicked, Dialog,
                     [Dialog, Answer] { Dialog->done(Answer); });
    return button;
}

} // namespace

int QtUiHost::AskQuestion(QObject* Control, const QString& Question, const QString& Caption1,
                          const QString& Caption2, int DefaultButton) {
    QWidget* near = NearWidget(Control);
    QPointer<QDialog> dialog = new QDialog(near ? near->window() : nullptr, QuestionFlags);
    dialog->setObjectName(QLatin1String(QuestionDialogName));
    dialog->setWindowTitle(QtUiHost::NoCaption);

    // The label sizes itself; how much taller the question makes it than an
    // empty label is how far the buttons move down. The empty label is
    // measured holding one blank: a classic empty label is one line high,
    // and so is Qt's on Linux, but on Windows Qt makes it a pixel taller
    // than a line of text, which would lift the buttons of a one-line
    // question.
    auto* label = new QLabel(QStringLiteral(" "), dialog);
    label->setObjectName(QLatin1String(QuestionTextName));
    label->setTextFormat(Qt::PlainText);
    label->adjustSize();
    const int emptyHeight = label->height();
    label->setText(DisplayText(Question));
    label->adjustSize();

    const QFontMetrics metrics = label->fontMetrics();
    const int captionWidth =
        std::max(metrics.horizontalAdvance(Caption1), metrics.horizontalAdvance(Caption2));
    const QuestionLayout layout = LayoutQuestion(emptyHeight, label->size(), captionWidth);

    dialog->setFixedSize(layout.Client);
    label->move(layout.LabelPos);
    // Done codes 1 and 2 are the answers; anything else (close box, Escape,
    // the dialog destroyed meanwhile) is no answer.
    QPushButton* button1 = AddAnswerButton(dialog, Caption1, Button1Name, layout.Button1, 1);
    QPushButton* button2 = AddAnswerButton(dialog, Caption2, Button2Name, layout.Button2, 2);
    QPushButton* focused = DefaultButton == 1 ? button1 : button2;
    focused->setDefault(true);
    focused->setFocus();

    PlaceNearControl(near, dialog);
    const int code = dialog->exec();
    delete dialog;
    return code == 1 || code == 2 ? code : -1;
}
