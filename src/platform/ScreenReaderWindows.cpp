#include "platform/ScreenReader.h"

#include <QAccessible>

void announceToScreenReader(QObject* source, const QString& text)
{
    // UI Automation raises a text value change as a notification, which screen readers speak as it is.
    QAccessibleValueChangeEvent event(source, text);
    QAccessible::updateAccessibility(&event);
}
