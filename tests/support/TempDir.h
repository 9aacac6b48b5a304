#pragma once

#include <QDir>
#include <QTemporaryDir>

// A temporary folder that is removed at the end of the test, with a helper for paths in it.
class TempDir {
public:
    QString path(const QString& name = {}) const { return name.isEmpty() ? dir_.path() : dir_.filePath(name); }
    bool isValid() const { return dir_.isValid(); }

private:
    QTemporaryDir dir_;
};
