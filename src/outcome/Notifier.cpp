#include "outcome/Notifier.h"

#include "outcome/Notice.h"

#include <QSystemTrayIcon>

void Notifier::showInTray(QSystemTrayIcon* icon, const Notice& notice, qsizetype maxTitle, qsizetype maxBody)
{
    if (icon == nullptr || !icon->isVisible())
        return;
    connect(icon, &QSystemTrayIcon::messageClicked, this, &Notifier::clicked, Qt::UniqueConnection);
    const QString title = maxTitle >= 0 ? notice.title.left(maxTitle) : notice.title;
    icon->showMessage(title, notice.body(maxBody),
                      notice.urgent ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information);
}
