#pragma once

#include "history/HistoryDigest.h"
#include "history/HistoryExport.h"

#include <QTimeZone>
#include <QWidget>

#include <atomic>
#include <functional>
#include <thread>

class HistoryStrip;
class QLabel;
class QPushButton;
class QTableWidget;
class QVBoxLayout;
class TargetFields;

// The tray's "History…" and the main window's Ctrl+H: for each enabled target, its last 24 hours one cell per check,
// its last 90 days one cell per day, its uptime over 24 hours, 7, 30 and 90 days with the checks counted, and its last
// outage; under them the outages of the target whose strip has the focus, newest first. "Export…" writes checks or
// outages as CSV. The history is read on a worker thread, one read at a time, so that the window paints at once and
// the cycle's writes never wait on it.
class HistoryWindow : public QWidget {
    Q_OBJECT
public:
    // `fields` says which targets are enabled, with their current text; `folder` holds history.sqlite.
    HistoryWindow(const TargetFields& fields, QString folder, QWidget* parent = nullptr);
    ~HistoryWindow() override;

    // For tests: the zone the days and times are read in, and the clock.
    void setZone(const QTimeZone& zone) { zone_ = zone; }
    void setClock(std::function<int64_t()> now) { now_ = std::move(now); }

    // Shows the window and reads the history again, unless a read is under way.
    void showAndLoad();
    bool busy() const { return busy_; }
    // Writes the checks or outages of the shown targets between the local days `from` and `to`, both included, into
    // `path`, on the worker; exported() tells how it went.
    bool exportTo(const QString& path, HistoryExport::What what, const QDate& from, const QDate& to);

signals:
    void loaded();
    void exported(bool done, const QString& message);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void startWorker(std::function<void()> job);
    void finishWorker();
    void showResult(const HistoryDigest::Result& result);
    void addTarget(const TargetHistory& target, int index);
    void select(int index);
    void askExport();
    std::vector<HistoryDigest::Enabled> enabledTargets() const;

    const TargetFields& fields_;
    QString folder_;
    QTimeZone zone_ = QTimeZone::systemTimeZone();
    std::function<int64_t()> now_;

    QLabel* status_ = nullptr;
    QWidget* rows_ = nullptr;
    QVBoxLayout* rowsLayout_ = nullptr;
    QLabel* outagesTitle_ = nullptr;
    QTableWidget* outages_ = nullptr;
    QPushButton* export_ = nullptr;
    QPushButton* close_ = nullptr;
    std::vector<TargetHistory> targets_;
    std::vector<HistoryStrip*> strips_;
    int selected_ = -1;

    std::thread worker_;
    std::atomic<bool> busy_ = false;
};
