#pragma once

#include <QString>

// What `pylvane --diagnose` looks at: by default the user's own run with its windows; with --headless or --config,
// a run without a desktop (the service's), whose settings file and state folder may be given. Such a run has no
// display, tray, notices or sign-in start, so those lines do not apply to it. Set once, before any check runs.
struct DiagnosisScope {
    bool headless = false;
    QString settingsFile; // empty: the user's own settings
    QString stateFolder;  // empty: the user's own state folder

    bool withoutDesktop() const { return headless || !settingsFile.isEmpty(); }

    static const DiagnosisScope& current();
    static void set(const DiagnosisScope& scope);
};
