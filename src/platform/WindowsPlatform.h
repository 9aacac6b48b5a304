#pragma once

#include "platform/Platform.h"

class WindowsPlatform : public Platform {
public:
    bool fileExists(const QString& name, FileMask mask) const override;
    QString dateText() const override;
    QString timeText() const override;
    bool startProgram(const QString& path, const Environment& environment) override;
    bool openInTextEditor(const QString& path, const std::function<void()>& failedLater) override;
    void messageBox(const QString& text, const QString& caption, MessageIcon icon) override;
};
