#pragma once

#include "platform/Platform.h"

#include <QStringList>

#include <optional>

// Real file lookups, a fixed date and time text, clocks that a test may set, and recorded program starts and
// message boxes.
class FakePlatform : public Platform {
public:
    QString date = QStringLiteral("07.12.2026");
    QString time = QStringLiteral("08:15:42");
    bool startSucceeds = true;
    bool editorSucceeds = true;
    QStringList started;
    QStringList opened;
    QStringList messages;
    QList<MessageIcon> messageIcons;

    bool fileExists(const QString& name, FileMask mask) const override { return real_->fileExists(name, mask); }
    QString dateText() const override { return date; }
    QString timeText() const override { return time; }
    // The real clocks until a test sets them.
    QDateTime clock;
    std::optional<qint64> monotonic;
    QDateTime now() const override { return clock.isValid() ? clock : Platform::now(); }
    qint64 monotonicMs() const override { return monotonic.value_or(Platform::monotonicMs()); }
    Environment startedWith; // the environment of the last program started
    bool startProgram(const QString& path, const Environment& environment) override
    {
        started << path;
        startedWith = environment;
        return startSucceeds;
    }
    std::function<void()> editorFailsLater; // what the last opening was told to call when the opener fails
    bool openInTextEditor(const QString& path, const std::function<void()>& failedLater) override
    {
        opened << path;
        editorFailsLater = failedLater;
        return editorSucceeds;
    }
    void messageBox(const QString& text, const QString& caption, MessageIcon icon) override
    {
        messages << caption + QStringLiteral(": ") + text;
        messageIcons << icon;
    }

private:
    std::unique_ptr<Platform> real_ = Platform::forThisSystem();
};
