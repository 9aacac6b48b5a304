#pragma once

#include "ui/LogOpenFailure.h"

#include <QPointer>

class QMessageBox;
class QWidget;

// The message as a small box that does not block: the cycle and the other windows go on while it stands, and a
// second failure while it stands shows the same box again rather than another. Its path can be selected and copied
// with the mouse or the keyboard, and a screen reader reads the path as the box's description.
class LogOpenFailureBox : public LogOpenFailure {
public:
    explicit LogOpenFailureBox(QWidget* parent);
    ~LogOpenFailureBox() override;
    LogOpenFailureBox(const LogOpenFailureBox&) = delete;
    LogOpenFailureBox& operator=(const LogOpenFailureBox&) = delete;

    void show(const QString& logPath) override;

private:
    QPointer<QWidget> parent_;
    QPointer<QMessageBox> box_;
};
