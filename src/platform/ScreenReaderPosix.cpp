#include "platform/ScreenReader.h"

#include <QAccessible>

void announceToScreenReader(QObject* source, const QString&)
{
    // AT-SPI has no announcement here; a change of the name is what screen readers hear of a label.
    QAccessibleEvent event(source, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}
