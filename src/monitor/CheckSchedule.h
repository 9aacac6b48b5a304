#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

// Decides when a check cycle runs. Timer2 ticks every 10 s and counts its ticks in Text1; when the
// count reaches 100 it arms Timer1, which fires 10 s later and runs one cycle. The cycle disarms
// Timer1 itself. Presetting the count to "100" makes the very next tick arm a cycle.
class CheckSchedule : public QObject {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 10'000;
    static constexpr double kThreshold = 100;
    static inline const QString kPreset = QStringLiteral("100");
    static inline const QString kReset = QStringLiteral("0");

    explicit CheckSchedule(QObject* parent = nullptr);

    // The main window's load: preset the counter, start the schedule timer.
    void load();
    // The settings window's "X": the next tick arms a cycle.
    void preset();
    // Handler of each Timer2 tick.
    void tick();

    // About how long until the next cycle starts, as far as the schedule knows now.
    int secondsToNextCycle() const;

    QTimer& Timer1() { return timer1_; }
    QTimer& Timer2() { return timer2_; }
    const QString& Text1() const { return text1_; }
    void setText1(const QString& text) { text1_ = text; }

private:
    QTimer timer1_;
    QTimer timer2_;
    QString text1_ = kReset;
};
