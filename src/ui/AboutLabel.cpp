#include "ui/AboutLabel.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

AboutLabel::AboutLabel(QWidget* parent) : QLabel(QStringLiteral("?"), parent)
{
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
