#include "ui/HistoryStrip.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace {

const QColor kUp(0x2e, 0x9d, 0x4a);
const QColor kDown(0xc6, 0x28, 0x28);
const QColor kUnknown(0x8a, 0x8a, 0x8a);

// What assistive technology asks of a strip: a slider over its cells, whose value is the current cell in words.
class StripAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit StripAccessible(HistoryStrip* strip) : QAccessibleWidget(strip, QAccessible::Slider) {}

    HistoryStrip* strip() const { return static_cast<HistoryStrip*>(widget()); }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return strip()->currentWords();
        return QAccessibleWidget::text(t);
    }
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QVariant currentValue() const override { return strip()->current(); }
    void setCurrentValue(const QVariant& value) override { strip()->setCurrent(value.toInt()); }
    QVariant maximumValue() const override { return std::max(0, strip()->cellCount() - 1); }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }
};

QAccessibleInterface* stripFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("HistoryStrip") && object != nullptr && object->isWidgetType())
        return new StripAccessible(static_cast<HistoryStrip*>(object));
    return nullptr;
}

} // namespace

HistoryStrip::HistoryStrip(QWidget* parent) : QWidget(parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(stripFactory);
        return true;
    }();
    Q_UNUSED(installed);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

std::vector<HistoryStrip::Cell> HistoryStrip::checkCells(const std::vector<HistoryCheck>& checks,
                                                         const QTimeZone& zone)
{
    const QLocale locale;
    std::vector<Cell> cells;
    for (const HistoryCheck& check : checks) {
        Cell cell;
        const QString when = locale.toString(QDateTime::fromMSecsSinceEpoch(check.endedMs, zone), QLocale::ShortFormat);
        switch (check.state) {
        case HistoryState::Up:
            cell.shape = Low;
            cell.words = QStringLiteral("%1, up").arg(when);
            break;
        case HistoryState::Down:
            cell.shape = Full;
            cell.cross = true;
            cell.failedShare = 1.0;
            cell.words = QStringLiteral("%1, down").arg(when);
            break;
        case HistoryState::Confirming:
            cell.shape = Hollow;
            cell.words = QStringLiteral("%1, down, waiting for its second look").arg(when);
            break;
        case HistoryState::Unknown:
            cell.shape = Hollow;
            cell.words = QStringLiteral("%1, could not be checked").arg(when);
            break;
        }
        cells.push_back(cell);
    }
    return cells;
}

std::vector<HistoryStrip::Cell> HistoryStrip::dayCells(const std::vector<HistoryDay>& days)
{
    const QLocale locale;
    std::vector<Cell> cells;
    for (const HistoryDay& day : days) {
        Cell cell;
        const QString date = locale.toString(day.date, QLocale::ShortFormat);
        cell.failedShare = day.failedShare();
        cell.mark = day.hadFailure();
        if (!day.hasChecks()) {
            cell.shape = Empty;
            cell.words = QStringLiteral("%1, no checks").arg(date);
        } else if (day.up + day.down == 0) {
            cell.shape = Hollow;
            cell.words = QStringLiteral("%1, %2 checks, none could be made").arg(date).arg(day.unknown);
        } else {
            cell.shape = day.down > 0 ? Full : Low;
            cell.words = day.down == 0 ? QStringLiteral("%1, up at all %2 checks").arg(date).arg(day.up)
                                       : QStringLiteral("%1, down at %2 of %3 checks")
                                             .arg(date)
                                             .arg(day.down)
                                             .arg(day.up + day.down);
        }
        cells.push_back(cell);
    }
    return cells;
}

void HistoryStrip::setCells(std::vector<Cell> cells)
{
    cells_ = std::move(cells);
    current_ = cells_.empty() ? -1 : int(cells_.size()) - 1;
    updateGeometry();
    update();
}

void HistoryStrip::setCurrent(int index)
{
    if (cells_.empty())
        return;
    index = std::clamp(index, 0, int(cells_.size()) - 1);
    if (index == current_)
        return;
    current_ = index;
    update();
    QAccessibleValueChangeEvent change(this, current_);
    QAccessible::updateAccessibility(&change);
    emit currentChanged(current_);
}

QString HistoryStrip::currentWords() const
{
    if (current_ < 0)
        return QStringLiteral("no checks");
    return cells_[size_t(current_)].words;
}

int HistoryStrip::cellWidth() const
{
    // Wide enough for its mark at any scale: the font grows with the screen's scale, and the cells with it.
    return std::max(6, fontMetrics().height() / 2);
}

QSize HistoryStrip::sizeHint() const
{
    return {std::max(1, cellCount()) * (cellWidth() + 1), fontMetrics().height() * 3 / 2 + 6};
}

QSize HistoryStrip::minimumSizeHint() const
{
    return {std::min(sizeHint().width(), 30 * (cellWidth() + 1)), sizeHint().height()};
}

QRectF HistoryStrip::cellRect(int index) const
{
    const qreal pitch = cells_.empty() ? 0.0 : qreal(width() - 2) / qreal(cells_.size());
    const qreal markSpace = 4;
    return {1 + index * pitch, 1, std::max<qreal>(1.0, pitch - 1), height() - 2 - markSpace};
}

void HistoryStrip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), palette().base());
    const QColor text = palette().text().color();
    for (int i = 0; i < int(cells_.size()); ++i) {
        const Cell& cell = cells_[size_t(i)];
        const QRectF whole = cellRect(i);
        QColor fill = cell.failedShare > 0.0
                          ? QColor::fromRgbF(kUp.redF() + (kDown.redF() - kUp.redF()) * cell.failedShare,
                                             kUp.greenF() + (kDown.greenF() - kUp.greenF()) * cell.failedShare,
                                             kUp.blueF() + (kDown.blueF() - kUp.blueF()) * cell.failedShare)
                          : kUp;
        switch (cell.shape) {
        case Low:
            painter.fillRect(QRectF(whole.left(), whole.top() + whole.height() * 0.45, whole.width(),
                                    whole.height() * 0.55),
                             fill);
            break;
        case Full:
            painter.fillRect(whole, fill);
            if (cell.cross && whole.width() >= 5) {
                painter.setPen(QPen(Qt::white, 1.2));
                const QRectF inner = whole.adjusted(1, 1, -1, -1);
                const qreal side = std::min(inner.width(), inner.height());
                const QRectF box(inner.center().x() - side / 2, inner.center().y() - side / 2, side, side);
                painter.drawLine(box.topLeft(), box.bottomRight());
                painter.drawLine(box.topRight(), box.bottomLeft());
            }
            break;
        case Hollow:
            painter.setPen(QPen(kUnknown, 1));
            painter.drawRect(whole.adjusted(0.5, 0.5, -0.5, -0.5));
            if (whole.width() >= 6) {
                QFont small = font();
                small.setPixelSize(std::max(6, int(whole.width())));
                painter.setFont(small);
                painter.setPen(text);
                painter.drawText(whole, Qt::AlignCenter, QStringLiteral("?"));
            }
            break;
        case Empty:
            painter.setPen(QPen(palette().mid().color(), 1, Qt::DotLine));
            painter.drawLine(QPointF(whole.left(), whole.bottom()), QPointF(whole.right(), whole.bottom()));
            break;
        }
        if (cell.mark) {
            // A triangle under the day: a failure is seen without telling the colours apart.
            QPainterPath triangle;
            triangle.moveTo(whole.center().x(), whole.bottom() + 1);
            triangle.lineTo(whole.left(), height() - 1);
            triangle.lineTo(whole.right(), height() - 1);
            triangle.closeSubpath();
            painter.fillPath(triangle, text);
        }
    }
    if (hasFocus()) {
        painter.setPen(QPen(palette().highlight().color(), 2));
        painter.setBrush(Qt::NoBrush);
        if (current_ >= 0)
            painter.drawRect(cellRect(current_).adjusted(-1, -1, 1, 5));
        else
            painter.drawRect(rect().adjusted(1, 1, -1, -1));
    }
}

void HistoryStrip::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Left:
        setCurrent(current_ - 1);
        return;
    case Qt::Key_Right:
        setCurrent(current_ + 1);
        return;
    case Qt::Key_Home:
        setCurrent(0);
        return;
    case Qt::Key_End:
        setCurrent(int(cells_.size()) - 1);
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void HistoryStrip::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    if (!cells_.empty())
        setCurrent(int(event->position().x() / (qreal(width()) / qreal(cells_.size()))));
}
