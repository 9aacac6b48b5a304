#include "ui/LogOpenFailureBox.h"

#include <QDir>
#include <QMessageBox>

LogOpenFailureBox::LogOpenFailureBox(QWidget* parent) : parent_(parent) {}

LogOpenFailureBox::~LogOpenFailureBox()
{
    delete box_.data();
}

void LogOpenFailureBox::show(const QString& logPath)
{
    if (!box_) {
        box_ = new QMessageBox(QMessageBox::Warning, QStringLiteral("Pylvane"), QString(), QMessageBox::Ok, parent_);
        box_->setObjectName(QStringLiteral("LogOpenFailure"));
        box_->setAttribute(Qt::WA_DeleteOnClose);
        box_->setWindowModality(Qt::NonModal);
        box_->setTextFormat(Qt::PlainText);
        box_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        box_->setAccessibleName(QStringLiteral("The log could not be opened"));
    }
    const QString shown = QDir::toNativeSeparators(logPath);
    box_->setText(QStringLiteral("The log could not be opened in a text editor. It is here:\n%1").arg(shown));
    box_->setAccessibleDescription(QStringLiteral("The log is here: %1").arg(shown));
    box_->show();
    box_->raise();
    box_->activateWindow();
}
