#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

// Where one test keeps its settings, removed at its end: a file in a temporary folder, or on Windows
// a registry key of the test's own below HKEY_CURRENT_USER, never the user's.
class SettingsPlace {
public:
    SettingsPlace();
    ~SettingsPlace();
    SettingsPlace(const SettingsPlace&) = delete;
    SettingsPlace& operator=(const SettingsPlace&) = delete;

    // What the store is given.
    QString location() const;
    // Whether anything (a folder, a file, a key) has been made there.
    bool exists() const;
    // All that is stored there, to compare before and after.
    QByteArray snapshot() const;
    // Makes every later save to location() fail.
    void blockSaves();

private:
    struct Data;
    std::unique_ptr<Data> d_;
};
