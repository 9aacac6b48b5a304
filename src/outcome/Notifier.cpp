#include "outcome/Notifier.h"

#include "outcome/Notice.h"

#include <QSystemTrayIcon>

void Notifier::showInTray(QSystemTrayIcon* icon, const Notice& notice, qsizetype maxTitle, qsizetype maxBody)
{
    if (icon == nullptr || !icon->isVisible())
        return;
    connect(icon, &QSystemTrayIcon::messageClicked, this, &Notifier::clicked, Qt::UniqueConnection);
    showTrayMessage(icon, maxTitle >= 0 ? notice.title.left(maxTitle) : notice.title, notice.body(maxBody),
                    notice.urgent);
}

void Notifier::showTrayMessage(QSystemTrayIcon* icon, const QString& title, const QString& text, bool urgent)
{
    icon->showMessage(title, text, urgent ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information);
}
