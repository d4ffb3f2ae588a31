#include "tests/support/ScriptedUiHost.h"

namespace {
QString AnchorName(QObject* Control) {
    return Control ? Control->objectName() : QString();
}
} // namespace

QStringList ScriptedUiHost::Texts() const {
    QStringList texts;
    for (const Entry& e : entries_)
        texts << e.text;
    return texts;
}

void ScriptedUiHost::Clear() {
    ResumeDialogs();
    entries_.clear();
    script_.clear();
    unscripted_ = 0;
    lastReport_ = {};
}

void ScriptedUiHost::ShowMessage(QObject* Control, const QString& Text) {
    entries_.append({Kind::Message, Text, AnchorName(Control), {QStringLiteral("OK")}, 1, 1});
}

void ScriptedUiHost::FlashMessage(QObject* Control, const QString& Text) {
    entries_.append({Kind::Notice, Text, AnchorName(Control), {}, 0, 0});
}

int ScriptedUiHost::AskQuestion(QObject* Control, const QString& Question, const QString& Caption1,
                                const QString& Caption2, int DefaultButton) {
    int answer = DefaultButton == 1 ? 1 : 2;
    if (script_.isEmpty())
        ++unscripted_;
    else
        answer = script_.takeFirst();
    entries_.append({Kind::Question,
                     Question,
                     AnchorName(Control),
                     {Caption1, Caption2},
                     DefaultButton,
                     answer});
    return answer;
}

void ScriptedUiHost::PlainMessage(const QString& Text) {
    entries_.append({Kind::Plain, Text, QString(), {QStringLiteral("OK")}, 1, 1});
}

void ScriptedUiHost::SetBusyCursor(bool Busy) {
    busy_ = Busy;
}

QString ScriptedUiHost::AskSaveFileName(QObject* Control, const QString& DefaultName,
                                        const QString& Filter, const QString&) {
    entries_.append({Kind::SaveFile, DefaultName, AnchorName(Control), {Filter}, 0, 0});
    return saveFile_;
}

void ScriptedUiHost::ShowReportWindow(QObject* Control, const QString& Caption,
                                      const TReportTable& Table) {
    entries_.append({Kind::Report, Caption, AnchorName(Control), {}, 0, 0});
    lastReport_ = Table;
}

void ScriptedUiHost::ShowLogWindow(QObject* Control, const QString& Caption,
                                   const QStringList& Lines) {
    entries_.append({Kind::Log, Caption, AnchorName(Control), {}, 0, 0});
    lastLog_ = Lines;
}
