#pragma once

#include "platform/Platform.h"

#include <QElapsedTimer>

class PosixPlatform : public Platform {
public:
    bool fileExists(const QString& name, FileMask mask) const override;
    QString dateText() const override;
    QString timeText() const override;
    bool startProgram(const QString& path, const Environment& environment) override;
    bool openInTextEditor(const QString& path, const std::function<void()>& failedLater) override;
    void messageBox(const QString& text, const QString& caption, MessageIcon icon) override;

    // A file is hidden on POSIX when its own name (not its folder's) begins with a dot.
    static bool isHiddenName(const QString& name);

private:
    qint64 editorStart_ = 0; // the process id of the last xdg-open started
    QElapsedTimer editorSince_;
};
