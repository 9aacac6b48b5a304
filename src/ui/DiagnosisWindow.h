#pragma once

#include <QStringList>
#include <QWidget>

class QPlainTextEdit;
class QProcess;
class QPushButton;

// The tray menu's "Diagnosis…", for users who never open a console: the report of `pylvane --diagnose` in a small
// read-only window, with "Copy" to paste it into a bug report. The report comes from the program run again as a
// process of its own, so the services it asks, which may hang for seconds, never hold this program's windows.
class DiagnosisWindow : public QWidget {
    Q_OBJECT
public:
    // `program` and `arguments` make the report; by default this program with "--diagnose".
    explicit DiagnosisWindow(QString program = {}, QStringList arguments = {}, QWidget* parent = nullptr);
    ~DiagnosisWindow() override;

    // Shows the window and makes a new report, unless one is being made.
    void showAndRun();
    QString report() const;

signals:
    void reportReady();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void finished();

    QString program_;
    QStringList arguments_;
    QPlainTextEdit* text_ = nullptr;
    QPushButton* copy_ = nullptr;
    QProcess* process_ = nullptr;
};
