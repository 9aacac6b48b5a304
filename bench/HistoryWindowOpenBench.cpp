// The History window opened on 400 days of 35 enabled targets until it has painted them: made, shown, its read
// done on its worker and shown, and the strips painted by the event loop. Offscreen, so that no display is needed.
// Prints
//   bench: history_window_open_ms value=<median> min= max=
// A first window, made before the timed ones, goes to standard error: it also pays for Qt's fonts and styles, which
// the running program has loaded long before anyone asks for its history.
#include "HistoryBenchFolder.h"
#include "Spread.h"

#include "monitor/CycleReport.h"
#include "monitor/TargetFields.h"
#include "ui/HistoryStrip.h"
#include "ui/HistoryWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <optional>
#include <vector>

namespace {

constexpr int kGiveUpMs = 30'000;

// Every target enabled, at the text the history was written with.
class AllEnabled : public TargetFields {
public:
    int enableValue(TargetKind, int) const override { return Ticked; }
    QString targetText(TargetKind kind, int number) const override
    {
        return QString::fromStdString(HistoryGenerator::currentText(kindName(kind).toStdString(), number));
    }
    QString failureCommand() const override { return {}; }
};

// Ends `loop` once the window's read is shown and the event loop has painted its strips: the first strip painted
// after the read starts the pass that paints every shown one, and a zero timer set then fires after that pass.
class PaintWatch : public QObject {
public:
    PaintWatch(HistoryWindow& window, QEventLoop& loop) : window_(window), loop_(loop)
    {
        connect(&window, &HistoryWindow::loaded, this, [this] { loaded_ = true; });
        qApp->installEventFilter(this);
    }
    ~PaintWatch() override { qApp->removeEventFilter(this); }

    bool painted() const { return painted_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (loaded_ && !painted_ && event->type() == QEvent::Paint && window_.isAncestorOf(qobject_cast<QWidget*>(watched)) &&
            qobject_cast<HistoryStrip*>(watched) != nullptr) {
            painted_ = true;
            QTimer::singleShot(0, &loop_, [this] { loop_.quit(); });
        }
        return false;
    }

private:
    HistoryWindow& window_;
    QEventLoop& loop_;
    bool loaded_ = false;
    bool painted_ = false;
};

// Milliseconds from making the window to its strips painted, or nothing with `why` set.
std::optional<double> openOnce(const TargetFields& fields, const QString& folder, std::string* why)
{
    QElapsedTimer timer;
    timer.start();
    HistoryWindow window(fields, folder);
    QEventLoop loop;
    PaintWatch watch(window, loop);
    QTimer::singleShot(kGiveUpMs, &loop, &QEventLoop::quit);
    window.showAndLoad();
    loop.exec();
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    if (!watch.painted()) {
        *why = "the window did not paint its strips within 30 s";
        return std::nullopt;
    }
    // Two strips per target, each with its cells: 24 hours of checks and 90 days.
    const QList<HistoryStrip*> strips = window.findChildren<HistoryStrip*>();
    if (strips.size() != 2 * HistoryGenerator::kTargets) {
        *why = "the window showed " + std::to_string(strips.size()) + " strips";
        return std::nullopt;
    }
    for (const HistoryStrip* strip : strips) {
        if (strip->cellCount() < 80) {
            *why = strip->objectName().toStdString() + " has " + std::to_string(strip->cellCount()) + " cells";
            return std::nullopt;
        }
    }
    window.close();
    return ms;
}

// The offscreen platform says at each window that it cannot raise it or pass on its size hints; the rest is shown.
QtMessageHandler defaultHandler = nullptr;
void quieter(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (!message.startsWith(QLatin1String("This plugin does not support")))
        defaultHandler(type, context, message);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    defaultHandler = qInstallMessageHandler(quieter);
    QApplication app(argc, argv);
    const HistoryBenchFolder folder;
    if (!folder.error().empty()) {
        std::printf("bench: history_window_open_ms skipped: %s\n", folder.error().c_str());
        return 0;
    }
    const AllEnabled fields;
    std::string why;
    const std::optional<double> first = openOnce(fields, folder.path(), &why);
    if (!first) {
        std::printf("bench: history_window_open_ms failed: %s\n", why.c_str());
        return 1;
    }
    std::fprintf(stderr, "  the first window: %.1f ms\n", *first);
    std::vector<double> ms;
    for (std::size_t run = 0; run < Spread::kMinRuns; ++run) {
        const std::optional<double> taken = openOnce(fields, folder.path(), &why);
        if (!taken) {
            std::printf("bench: history_window_open_ms failed: %s\n", why.c_str());
            return 1;
        }
        ms.push_back(*taken);
    }
    Spread::of(ms).print("history_window_open_ms", 1);
    return 0;
}
