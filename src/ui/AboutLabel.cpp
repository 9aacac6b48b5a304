#include "ui/AboutLabel.h"

#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace {

// Told as a button that can be pressed rather than as static text, since that is what "?" is; pressing it from
// assistive technology shows the about message as a click does.
class AccessibleAboutLabel : public QAccessibleWidget {
public:
    explicit AccessibleAboutLabel(AboutLabel* label) : QAccessibleWidget(label, QAccessible::Button) {}

    QStringList actionNames() const override { return QStringList{pressAction()} + QAccessibleWidget::actionNames(); }
    void doAction(const QString& name) override
    {
        if (name == pressAction())
            emit static_cast<AboutLabel*>(widget())->activated();
        else
            QAccessibleWidget::doAction(name);
    }
};

QAccessibleInterface* accessibleAboutLabel(const QString& className, QObject* object)
{
    auto* label = qobject_cast<AboutLabel*>(object);
    return label && className == QLatin1String("AboutLabel") ? new AccessibleAboutLabel(label) : nullptr;
}

} // namespace

AboutLabel::AboutLabel(QWidget* parent) : QLabel(QStringLiteral("?"), parent)
{
    static const bool accessibleAsButton = (QAccessible::installFactory(accessibleAboutLabel), true);
    Q_UNUSED(accessibleAsButton);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("About Pylvane"));
    setAccessibleDescription(QStringLiteral("Space, Enter or F1 shows who wrote Pylvane."));
}

void AboutLabel::mousePressEvent(QMouseEvent* event)
{
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void AboutLabel::mouseDoubleClickEvent(QMouseEvent* event)
{
    mousePressEvent(event);
}

void AboutLabel::mouseReleaseEvent(QMouseEvent* event)
{
    // The label keeps the mouse from its press on, so a release away from it comes here too.
    const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    if (click)
        emit activated();
}

void AboutLabel::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) {
        event->accept();
        emit activated();
        return;
    }
    QLabel::keyPressEvent(event);
}

void AboutLabel::paintEvent(QPaintEvent*)
{
    // Drawn as a label that cannot take the focus draws its text: one that can would go through a text document,
    // which places the "?" a pixel lower.
    QStylePainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    painter.drawItemText(contentsRect(), int(alignment()) | Qt::TextForceLeftToRight, option.palette, isEnabled(),
                         text(), foregroundRole());
    if (!hasFocus())
        return;
    option.backgroundColor = palette().color(backgroundRole());
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
}
