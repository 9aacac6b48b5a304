#include "ui/HistoryExportDialog.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>

HistoryExportDialog::HistoryExportDialog(const QDate& today, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("HistoryExport"));
    setWindowTitle(QStringLiteral("Export history"));
    setAccessibleName(windowTitle());
    what_ = new QComboBox(this);
    what_->setObjectName(QStringLiteral("ExportWhat"));
    what_->addItem(QStringLiteral("Checks"), int(HistoryExport::Checks));
    what_->addItem(QStringLiteral("Outages"), int(HistoryExport::Outages));
    what_->setAccessibleName(QStringLiteral("What to export"));
    from_ = new QDateEdit(today.addDays(-29), this);
    from_->setObjectName(QStringLiteral("ExportFrom"));
    to_ = new QDateEdit(today, this);
    to_->setObjectName(QStringLiteral("ExportTo"));
    for (QDateEdit* edit : {from_, to_}) {
        edit->setCalendarPopup(true);
        edit->setMaximumDate(today);
    }
    from_->setAccessibleName(QStringLiteral("From day"));
    to_->setAccessibleName(QStringLiteral("To day, included"));
    // The range never turns round.
    connect(from_, &QDateEdit::dateChanged, to_, [this](const QDate& date) {
        if (to_->date() < date)
            to_->setDate(date);
    });
    connect(to_, &QDateEdit::dateChanged, from_, [this](const QDate& date) {
        if (from_->date() > date)
            from_->setDate(date);
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Choose file…"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("&Export:"), what_);
    form->addRow(QStringLiteral("&From:"), from_);
    form->addRow(QStringLiteral("&To:"), to_);
    form->addRow(buttons);
}

HistoryExport::What HistoryExportDialog::what() const
{
    return HistoryExport::What(what_->currentData().toInt());
}

QDate HistoryExportDialog::from() const
{
    return from_->date();
}

QDate HistoryExportDialog::to() const
{
    return to_->date();
}
