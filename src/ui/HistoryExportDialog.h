#pragma once

#include "history/HistoryExport.h"

#include <QDate>
#include <QDialog>

class QComboBox;
class QDateEdit;

// The History window's "Export…": what to write (the checks or the outages) and the range of local days, from and to
// both included. The file is asked for after it.
class HistoryExportDialog : public QDialog {
    Q_OBJECT
public:
    explicit HistoryExportDialog(const QDate& today, QWidget* parent = nullptr);

    HistoryExport::What what() const;
    QDate from() const;
    QDate to() const;

private:
    QComboBox* what_ = nullptr;
    QDateEdit* from_ = nullptr;
    QDateEdit* to_ = nullptr;
};
