#pragma once

#include <QStringList>
#include <QWidget>

class QTextEdit;
class QProcess;
class QPushButton;

// The tray menu's "Diagnosis…", for users who never open a console: the report of `pylvane --diagnose` in a small
// read-only window, with "Copy" to paste it into a bug report. The report comes from the program run again as a
// process of its own, so the services it asks, which may hang for seconds, never hold this program's windows. Its
// lines wrap at the window's edge; each starts with a mark of its own shape and its word, its remedy under it.
class DiagnosisWindow : public QWidget {
    Q_OBJECT
public:
    // `program` and `arguments` make the report; by default this program with "--diagnose --json". A report that is
    // not JSON is shown as it comes.
    explicit DiagnosisWindow(QString program = {}, QStringList arguments = {}, QWidget* parent = nullptr);
    ~DiagnosisWindow() override;

    // Shows the window and makes a new report, unless one is being made.
    void showAndRun();
    // As `pylvane --diagnose` prints it: what "Copy" copies.
    QString report() const;

signals:
    void reportReady();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void finished();
    void showReport(const QByteArray& output);

    QString program_;
    QStringList arguments_;
    QTextEdit* text_ = nullptr;
    QString report_;
    QPushButton* copy_ = nullptr;
    QProcess* process_ = nullptr;
};
