#pragma once

#include "monitor/CheckCycle.h"
#include "monitor/CheckSchedule.h"
#include "monitor/StatusLamp.h"
#include "ui/LampStatus.h"

#include <QWidget>

#include <memory>

class AboutLabel;
class EventLog;
class LogOpenFailure;
class Platform;
class QLabel;
class QPushButton;
class TargetFields;
class TargetProbes;

// The small status window: the lamp, "Open Log", "Settings" and "?". It owns the schedule and the
// cycle; closing it ends the program.
class MainWindow : public QWidget, public StatusLamp {
    Q_OBJECT
public:
    MainWindow(Platform& platform, TargetProbes& probes, EventLog& log, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The live fields that the cycle reads; until set, every target is disabled.
    void setTargetFields(TargetFields* fields);

    // Presets the tick counter so that the next schedule tick arms a cycle, one that logs and alarms all it finds.
    void presetTickCounter();

    // Truth value (-1/0): whether a process with this executable file name runs; false also when the system
    // could not be asked.
    int ExeExists(const QString& name);

    CheckSchedule& schedule() { return schedule_; }
    CheckCycle& cycle() { return cycle_; }

    void setPictureVisible(Picture picture, bool visible) override;
    bool isPictureVisible(Picture picture) const override;
    void cycleStarted() override;
    void cycleEnded(const CycleReport& report) override;

    // The resource of a lamp picture, the picture showing now, and the lamp's state in words.
    static QString lampResource(Picture picture);
    Picture shownPicture() const;
    QString lampToolTip() const;

    // "Open Log" and "?", also reached from elsewhere (the tray icon's menu, F1 in the settings window).
    void openLog();
    void showAbout();
    // What "Open Log" shows when the log could not be opened; a box of its own until set.
    void setLogOpenFailure(std::unique_ptr<LogOpenFailure> failure);

signals:
    // "Settings" was pressed: the settings window is to be shown and its "SAVED!" hidden.
    void settingsRequested();
    // The window is closing, whatever closed it; the program ends with it.
    void closing();
    // The lamp's picture or its words have changed.
    void lampChanged();
    // A cycle has ended with this report, after the lamp shows it.
    void cycleReported(const CycleReport& report);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Hands the window to the window system's interactive move.
    virtual void beginSystemMove();

private:
    QLabel* lamp(Picture picture) const;
    void showLampInWords();

    Platform& platform_;
    TargetProbes& probes_;
    EventLog& log_;
    CheckSchedule schedule_;
    CheckCycle cycle_;
    bool loaded_ = false;
    LampStatus lampStatus_;

    QLabel* image1_ = nullptr;
    QLabel* image2_ = nullptr;
    QLabel* image3_ = nullptr;
    QPushButton* command1_ = nullptr;
    QPushButton* settingsButton_ = nullptr;
    AboutLabel* label1_ = nullptr;
    std::unique_ptr<LogOpenFailure> logOpenFailure_;
};
