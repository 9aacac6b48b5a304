#pragma once

#include "outcome/Notifier.h"

// Notices as the tray icon's balloon, within the lengths Windows shows: a new balloon replaces the one
// before.
class BalloonNotifier : public Notifier {
    Q_OBJECT
public:
    static constexpr qsizetype kMaxTitle = 63;
    static constexpr qsizetype kMaxText = 255;

    explicit BalloonNotifier(TrayLookup tray) : tray_(std::move(tray)) {}

    void show(const Notice& notice) override;

private:
    TrayLookup tray_;
};
