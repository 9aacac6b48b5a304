#include "ui/HistoryWindow.h"

#include "history/ExportFile.h"
#include "monitor/TargetFields.h"
#include "ui/HistoryExportDialog.h"
#include "ui/HistoryStrip.h"
#include "ui/ScreenFollower.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const char* const kSpanNames[] = {"24 h", "7 d", "30 d", "90 d"};

QString kindWords(const QString& kind)
{
    if (kind == QLatin1String("device"))
        return QStringLiteral("network device");
    if (kind == QLatin1String("camera"))
        return QStringLiteral("IP camera");
    return QStringLiteral("process");
}

// "99.2 %, 84/85 checks", the number as the user's locale writes it.
QString uptimeWords(const Uptime& uptime)
{
    if (!uptime.ratio())
        return QStringLiteral("no checks");
    return QStringLiteral("%1 %, %2/%3 checks")
        .arg(QLocale().toString(*uptime.ratio() * 100.0, 'f', 1))
        .arg(uptime.up)
        .arg(uptime.checks());
}

QString timeWords(int64_t ms, const QTimeZone& zone, int64_t nowMs)
{
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(ms, zone);
    // The time alone on the day it names, the date beside it on any other.
    if (time.date() == QDateTime::fromMSecsSinceEpoch(nowMs, zone).date())
        return QLocale().toString(time.time(), QLocale::ShortFormat);
    return QLocale().toString(time, QLocale::ShortFormat);
}

} // namespace

HistoryWindow::HistoryWindow(const TargetFields& fields, QString folder, QWidget* parent)
    : QWidget(parent, Qt::Window), fields_(fields), folder_(std::move(folder)),
      now_([] { return QDateTime::currentMSecsSinceEpoch(); })
{
    setObjectName(QStringLiteral("HistoryWindow"));
    setWindowTitle(QStringLiteral("Pylvane history"));
    setAccessibleName(windowTitle());
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("HistoryStatus"));
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    rows_ = new QWidget;
    rowsLayout_ = new QVBoxLayout(rows_);
    rowsLayout_->addStretch();
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("Targets"));
    scroll->setWidgetResizable(true);
    scroll->setWidget(rows_);
    scroll->setFocusPolicy(Qt::NoFocus);
    outagesTitle_ = new QLabel(QStringLiteral("Outages"), this);
    outages_ = new QTableWidget(0, 4, this);
    outages_->setObjectName(QStringLiteral("Outages"));
    outages_->setHorizontalHeaderLabels(
        {QStringLiteral("Start"), QStringLiteral("End"), QStringLiteral("Duration"), QStringLiteral("Checks")});
    outages_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    outages_->setSelectionBehavior(QAbstractItemView::SelectRows);
    outages_->verticalHeader()->hide();
    // Tab leaves the table rather than walking its cells; the arrow keys walk them.
    outages_->setTabKeyNavigation(false);
    outages_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    outages_->horizontalHeader()->setStretchLastSection(true);
    outages_->setAccessibleName(QStringLiteral("Outages"));
    outagesTitle_->setBuddy(outages_);
    export_ = new QPushButton(QStringLiteral("&Export…"), this);
    export_->setObjectName(QStringLiteral("Export"));
    export_->setAccessibleDescription(QStringLiteral("Writes the checks or the outages of a range of days as CSV"));
    close_ = new QPushButton(QStringLiteral("Close"), this);
    close_->setObjectName(QStringLiteral("Close"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(export_);
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(status_);
    layout->addWidget(scroll, 3);
    layout->addWidget(outagesTitle_);
    layout->addWidget(outages_, 1);
    layout->addLayout(buttons);
    // Sized by the font, which grows with the screen's scale, and kept on the screen.
    const QFontMetrics metrics = fontMetrics();
    QSize initial(metrics.averageCharWidth() * 120, metrics.height() * 36);
    if (const QScreen* screen = this->screen())
        initial = initial.boundedTo(screen->availableGeometry().size() * 0.9);
    resize(initial);

    // Another screen, another scale or a smaller area: the window stays within what it now has. The strips and the
    // text follow the scale by themselves, as they are sized by the font.
    auto* follower = new ScreenFollower(*this);
    connect(follower, &ScreenFollower::screenAreaChanged, this, [this](const QRect& available) {
        if (width() > available.width() || height() > available.height())
            resize(size().boundedTo(available.size()));
    });
    connect(export_, &QPushButton::clicked, this, &HistoryWindow::askExport);
    connect(close_, &QPushButton::clicked, this, &QWidget::close);
}

HistoryWindow::~HistoryWindow()
{
    // A read is bounded by SQLite's busy timeout and the size of 90 days; the worker is waited for rather than left
    // to post into a window that is gone.
    if (worker_.joinable())
        worker_.join();
}

std::vector<HistoryDigest::Enabled> HistoryWindow::enabledTargets() const
{
    std::vector<HistoryDigest::Enabled> enabled;
    for (const auto& [kind, count] : {std::pair{TargetKind::Device, kDeviceCount}, std::pair{TargetKind::Cam, kCamCount},
                                      std::pair{TargetKind::Process, kProcessCount}})
        for (int number = 1; number <= count; ++number)
            if (fields_.enableValue(kind, number) == TargetFields::Ticked)
                enabled.push_back({kind, number, fields_.targetText(kind, number)});
    return enabled;
}

void HistoryWindow::startWorker(std::function<void()> job)
{
    busy_ = true;
    export_->setEnabled(false);
    if (worker_.joinable())
        worker_.join();
    worker_ = std::thread(std::move(job));
}

void HistoryWindow::finishWorker()
{
    if (worker_.joinable())
        worker_.join();
    busy_ = false;
    export_->setEnabled(true);
}

void HistoryWindow::showAndLoad()
{
    QWidget::show();
    raise();
    activateWindow();
    if (busy_)
        return;
    status_->setText(QStringLiteral("Reading the history…"));
    startWorker([this, folder = folder_, enabled = enabledTargets(), now = now_(), zone = zone_] {
        HistoryDigest::Result result = HistoryDigest::read(folder, enabled, now, zone);
        QMetaObject::invokeMethod(
            this,
            [this, result = std::move(result)] {
                finishWorker();
                showResult(result);
                emit loaded();
            },
            Qt::QueuedConnection);
    });
}

void HistoryWindow::showResult(const HistoryDigest::Result& result)
{
    for (HistoryStrip* strip : strips_)
        strip->removeEventFilter(this);
    strips_.clear();
    while (rowsLayout_->count() > 1) {
        QLayoutItem* item = rowsLayout_->takeAt(0);
        delete item->widget();
        delete item;
    }
    targets_ = result.targets;
    selected_ = -1;
    outages_->setRowCount(0);
    if (result.opened == HistoryReader::NoHistory)
        status_->setText(QStringLiteral("No history yet: Pylvane keeps one from its next cycle on."));
    else if (result.opened != HistoryReader::Ok)
        status_->setText(QStringLiteral("The history cannot be read: %1.").arg(result.why));
    else if (targets_.empty())
        status_->setText(QStringLiteral("No enabled target has a history yet."));
    else
        status_->setText(QStringLiteral("%1 targets. Tab moves from strip to strip; the arrow keys move across its "
                                        "cells.")
                             .arg(targets_.size()));
    for (size_t i = 0; i < targets_.size(); ++i)
        addTarget(targets_[i], int(i));
    // Tab goes from strip to strip in the order they were made, target by target; from the last it comes round to
    // the outages and the buttons, which were made before them.
    if (!targets_.empty())
        select(0);
}

void HistoryWindow::addTarget(const TargetHistory& target, int index)
{
    const int64_t now = now_();
    const QString name = target.series.logName.trimmed();
    const QString id = target.series.kind + QLatin1Char('_') + QString::number(target.series.number);
    auto* box = new QWidget;
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, fontMetrics().height() / 2);
    auto* title = new QLabel(QStringLiteral("<b>%1</b> — %2, %3")
                                 .arg(name.toHtmlEscaped(), kindWords(target.series.kind),
                                      target.series.text.toHtmlEscaped()),
                             box);
    grid->addWidget(title, 0, 0, 1, 2);

    auto* recent = new HistoryStrip(box);
    recent->setObjectName(QStringLiteral("Recent_") + id);
    recent->setCells(HistoryStrip::checkCells(target.recent, zone_));
    recent->setAccessibleName(QStringLiteral("%1, last 24 hours").arg(name));
    const std::vector<HistoryOutage> within = HistoryRules::outagesWithin(target.outages, now, HistoryRules::kDayMs);
    QString words;
    if (target.recent.empty())
        words = QStringLiteral("%1: no checks in the last 24 hours").arg(name);
    else if (within.empty())
        words = QStringLiteral("%1: not down in the last 24 hours").arg(name);
    else {
        const HistoryOutage& last = within.back();
        words = QStringLiteral("%1: down %2 in the last 24 hours, %3 in all; last down %4 %5")
                    .arg(name, within.size() == 1 ? QStringLiteral("once") : QStringLiteral("%1 times").arg(within.size()),
                         HistoryRules::durationText(HistoryRules::downWithin(target.outages, now, HistoryRules::kDayMs)),
                         timeWords(last.startMs, zone_, now),
                         last.endMs ? QStringLiteral("to %1").arg(timeWords(*last.endMs, zone_, now))
                                    : QStringLiteral("and still down"));
    }
    recent->setAccessibleDescription(words);
    recent->setToolTip(words);

    auto* days = new HistoryStrip(box);
    days->setObjectName(QStringLiteral("Days_") + id);
    days->setCells(HistoryStrip::dayCells(target.days));
    days->setAccessibleName(QStringLiteral("%1, last 90 days").arg(name));
    const auto failedDays = std::count_if(target.days.begin(), target.days.end(),
                                          [](const HistoryDay& day) { return day.hadFailure(); });
    const QString dayWords = QStringLiteral("%1: down on %2 of the last 90 days; up %3")
                                 .arg(name)
                                 .arg(failedDays)
                                 .arg(uptimeWords(target.uptime[3]));
    days->setAccessibleDescription(dayWords);
    days->setToolTip(dayWords);

    auto* recentLabel = new QLabel(QStringLiteral("Last 24 hours"), box);
    recentLabel->setBuddy(recent);
    auto* daysLabel = new QLabel(QStringLiteral("Last 90 days"), box);
    daysLabel->setBuddy(days);
    grid->addWidget(recentLabel, 1, 0);
    grid->addWidget(daysLabel, 1, 1);
    grid->addWidget(recent, 2, 0);
    grid->addWidget(days, 2, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);

    QStringList uptime;
    for (size_t i = 0; i < target.uptime.size(); ++i)
        uptime << QStringLiteral("%1: %2").arg(QLatin1String(kSpanNames[i]), uptimeWords(target.uptime[i]));
    auto* figures = new QLabel(QStringLiteral("Uptime ") + uptime.join(QStringLiteral(" · ")), box);
    figures->setObjectName(QStringLiteral("Uptime_") + id);
    figures->setWordWrap(true);
    grid->addWidget(figures, 3, 0, 1, 2);
    QString last = QStringLiteral("No outage in the last 90 days");
    if (!target.outages.empty()) {
        const HistoryOutage& outage = target.outages.back();
        last = QStringLiteral("Last outage: %1, %2%3")
                   .arg(timeWords(outage.startMs, zone_, now), HistoryRules::durationText(outage.durationMs(now)),
                        outage.endMs ? QString() : QStringLiteral(", still down"));
    }
    auto* lastLabel = new QLabel(last, box);
    lastLabel->setObjectName(QStringLiteral("LastOutage_") + id);
    grid->addWidget(lastLabel, 4, 0, 1, 2);

    for (HistoryStrip* strip : {recent, days}) {
        strip->setProperty("target", index);
        strip->installEventFilter(this);
        strips_.push_back(strip);
    }
    rowsLayout_->insertWidget(rowsLayout_->count() - 1, box);
    // At once, not when the layout gets round to it: Tab and assistive technology skip what is not shown.
    box->show();
}

bool HistoryWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn && watched->property("target").isValid())
        select(watched->property("target").toInt());
    return QWidget::eventFilter(watched, event);
}

void HistoryWindow::select(int index)
{
    if (index == selected_ || index < 0 || index >= int(targets_.size()))
        return;
    selected_ = index;
    const TargetHistory& target = targets_[size_t(index)];
    const int64_t now = now_();
    const QString name = target.series.logName.trimmed();
    outagesTitle_->setText(QStringLiteral("&Outages of %1 in the last 90 days").arg(name));
    outages_->setAccessibleName(QStringLiteral("Outages of %1").arg(name));
    outages_->setRowCount(int(target.outages.size()));
    int row = 0;
    for (auto outage = target.outages.rbegin(); outage != target.outages.rend(); ++outage, ++row) {
        const QLocale locale;
        const auto time = [this, &locale](int64_t ms) {
            return locale.toString(QDateTime::fromMSecsSinceEpoch(ms, zone_), QLocale::ShortFormat);
        };
        const QStringList cells = {time(outage->startMs),
                                   outage->endMs ? time(*outage->endMs) : QStringLiteral("still down"),
                                   HistoryRules::durationText(outage->durationMs(now)),
                                   QString::number(outage->checks)};
        for (int column = 0; column < cells.size(); ++column)
            outages_->setItem(row, column, new QTableWidgetItem(cells.at(column)));
    }
}

void HistoryWindow::askExport()
{
    const QDate today = QDateTime::fromMSecsSinceEpoch(now_(), zone_).date();
    HistoryExportDialog dialog(today, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export history"),
                                                      QStringLiteral("pylvane-history.csv"),
                                                      QStringLiteral("CSV files (*.csv)"));
    if (!path.isEmpty())
        exportTo(path, dialog.what(), dialog.from(), dialog.to());
}

bool HistoryWindow::exportTo(const QString& path, HistoryExport::What what, const QDate& from, const QDate& to)
{
    if (busy_)
        return false;
    status_->setText(QStringLiteral("Exporting…"));
    std::vector<HistorySeries> series;
    for (const TargetHistory& target : targets_)
        series.push_back(target.series);
    const int64_t fromMs = QDateTime(from, QTime(0, 0), zone_).toMSecsSinceEpoch();
    const int64_t toMs = QDateTime(to.addDays(1), QTime(0, 0), zone_).toMSecsSinceEpoch() - 1;
    startWorker([this, path, what, series, fromMs, toMs, folder = folder_, now = now_(), zone = zone_] {
        QString why;
        HistoryReader reader(folder);
        QByteArray bytes;
        const bool done = reader.open(&why) == HistoryReader::Ok &&
                          HistoryExport::csv(reader, series, what, fromMs, toMs, now, zone, bytes, &why) &&
                          ExportFile::write(path, bytes, &why);
        QMetaObject::invokeMethod(
            this,
            [this, done, path, why] {
                finishWorker();
                const QString message = done ? QStringLiteral("Exported to %1.").arg(QDir::toNativeSeparators(path))
                                             : QStringLiteral("The export failed: %1.").arg(why);
                status_->setText(message);
                emit exported(done, message);
            },
            Qt::QueuedConnection);
    });
    return true;
}

void HistoryWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
