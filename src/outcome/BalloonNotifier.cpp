#include "outcome/BalloonNotifier.h"

void BalloonNotifier::show(const Notice& notice)
{
    showInTray(tray_(), notice, kMaxTitle, kMaxText);
}
