#pragma once
// A UI host for tests: it records every message, notice and question in the
// order they were asked, and answers questions from a script.

#include "common/UiHost.h"

#include <QList>
#include <QString>
#include <QStringList>

class ScriptedUiHost final : public UiHost {
public:
    enum class Kind { Message, Notice, Question, Plain, SaveFile, Report, Log };

    struct Entry {
        Kind kind;
        QString text;
        QString anchor; // objectName of the control it was centred on
        QStringList buttons;
        int defaultButton = 0;
        int answer = 0;
    };

    // Answers for the next questions, in order. A question asked when the
    // script is empty gets its default button, and is counted as unscripted.
    void Answer(int Reply) { script_.append(Reply); }

    const QList<Entry>& Entries() const { return entries_; }
    QStringList Texts() const;
    int Unscripted() const { return unscripted_; }
    bool Busy() const { return busy_; }
    void Clear();

    void ShowMessage(QObject* Control, const QString& Text) override;
    void FlashMessage(QObject* Control, const QString& Text) override;
    int AskQuestion(QObject* Control, const QString& Question, const QString& Caption1,
                    const QString& Caption2, int DefaultButton) override;
    void PlainMessage(const QString& Text) override;
    void SetBusyCursor(bool Busy) override;
    // The save dialog: answers the name set with AnswerSaveFile (empty:
    // cancelled), recording the offered default name as a question entry.
    QString AskSaveFileName(QObject* Control, const QString& DefaultName, const QString& Filter,
                            const QString& DefaultSuffix) override;
    void AnswerSaveFile(const QString& FileName) { saveFile_ = FileName; }
    // The report window: recorded with its caption as the text; the table it
    // was given is kept as the last report.
    void ShowReportWindow(QObject* Control, const QString& Caption,
                          const TReportTable& Table) override;
    const TReportTable& LastReport() const { return lastReport_; }
    // The log window: recorded with its caption; its lines are kept.
    void ShowLogWindow(QObject* Control, const QString& Caption, const QStringList& Lines) override;
    const QStringList& LastLog() const { return lastLog_; }

private:
    QList<Entry> entries_;
    QList<int> script_;
    int unscripted_ = 0;
    bool busy_ = false;
    QString saveFile_;
    TReportTable lastReport_;
    QStringList lastLog_;
};
