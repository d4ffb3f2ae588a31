#pragma once
// The text of one status-bar panel, held by the core.
//
// The link status is written by code that knows no widgets; the main window
// owns one of these for panel 0 of its status bar and shows whatever text it
// is given.

#include <QObject>
#include <QString>

class TStatusPanel : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    QString Text() const { return text_; }
    void SetText(const QString& Text);

signals:
    void TextChanged(const QString& Text);

private:
    QString text_;
};
