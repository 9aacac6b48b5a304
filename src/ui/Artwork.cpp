#include "ui/Artwork.h"

#include <QSize>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kFinestRatio = 3;

QString atRatio(const QString& resource, int ratio)
{
    if (ratio == 1)
        return resource;
    QString name = resource;
    name.insert(name.lastIndexOf(QLatin1Char('.')), QStringLiteral("@%1x").arg(ratio));
    return name;
}

} // namespace

QPixmap Artwork::pixmap(const QString& resource, qreal devicePixelRatio)
{
    // A hair above a whole ratio (rounding of 1.0000001) still takes that ratio's rendering.
    const int wanted = std::clamp(static_cast<int>(std::ceil(devicePixelRatio - 0.01)), 1, kFinestRatio);
    for (int ratio = wanted; ratio > 1; --ratio) {
        // Qt reads the ratio from the "@2x" in the name.
        QPixmap finer(atRatio(resource, ratio));
        if (!finer.isNull())
            return finer;
    }
    return QPixmap(resource);
}

QIcon Artwork::icon(const QString& resource)
{
    QIcon icon;
    for (int ratio = 1; ratio <= kFinestRatio; ++ratio)
        icon.addFile(atRatio(resource, ratio));
    return icon;
}

QIcon Artwork::programIcon()
{
    QIcon icon;
    for (int size : {16, 22, 32, 48, 64, 128})
        for (int ratio = 1; ratio <= kFinestRatio; ++ratio)
            icon.addFile(atRatio(QStringLiteral(":/icons/pylvane-%1.png").arg(size), ratio), QSize(size, size) * ratio);
    return icon;
}
