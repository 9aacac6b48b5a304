#include "outcome/BalloonNotifier.h"

std::unique_ptr<Notifier> Notifier::forThisSystem(TrayLookup tray)
{
    return std::make_unique<BalloonNotifier>(std::move(tray));
}
