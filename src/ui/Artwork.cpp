#include "ui/Artwork.h"

#include "ui/ArtworkIconEngine.h"

#include <QImageReader>
#include <QSize>
#include <QStringList>

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

// An icon of these files, each at the size its header gives; a missing file is left out. Nothing is decoded here.
QIcon lazyIcon(const QStringList& files)
{
    QList<ArtworkIconEngine::Rendering> renderings;
    for (const QString& file : files) {
        const QSize size = Artwork::sizeOf(file);
        if (size.isValid())
            renderings.append({file, size});
    }
    return QIcon(new ArtworkIconEngine(std::move(renderings)));
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

QImage Artwork::read(const QString& file)
{
    // All the artwork is PNG; left to guess, even with the format named, the reader would first load every image
    // plug-in there is to ask it about the file.
    QImageReader reader(file, "png");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

QSize Artwork::sizeOf(const QString& file)
{
    QImageReader reader(file, "png");
    reader.setAutoDetectImageFormat(false);
    return reader.size();
}

QIcon Artwork::icon(const QString& resource)
{
    QStringList files;
    for (int ratio = 1; ratio <= kFinestRatio; ++ratio)
        files << atRatio(resource, ratio);
    return lazyIcon(files);
}

QIcon Artwork::programIcon()
{
    QStringList files;
    for (int size : {16, 22, 32, 48, 64, 128})
        for (int ratio = 1; ratio <= kFinestRatio; ++ratio)
            files << atRatio(QStringLiteral(":/icons/pylvane-%1.png").arg(size), ratio);
    return lazyIcon(files);
}
