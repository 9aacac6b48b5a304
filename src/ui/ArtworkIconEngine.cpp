#include "ui/ArtworkIconEngine.h"

#include "ui/Artwork.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>

ArtworkIconEngine::ArtworkIconEngine(QList<Rendering> renderings) : renderings_(std::move(renderings)) {}

const ArtworkIconEngine::Rendering* ArtworkIconEngine::closest(const QSize& size) const
{
    const auto covers = [&size](const Rendering& r) {
        return r.size.width() >= size.width() && r.size.height() >= size.height();
    };
    const auto area = [](const Rendering& r) { return qint64(r.size.width()) * r.size.height(); };
    const Rendering* best = nullptr;
    for (const Rendering& rendering : renderings_) {
        if (best == nullptr || covers(rendering) != covers(*best)) {
            if (best == nullptr || covers(rendering))
                best = &rendering;
            continue;
        }
        // Among those that cover the size the smallest, as it loses least in scaling down; else the largest.
        if (covers(rendering) ? area(rendering) < area(*best) : area(rendering) > area(*best))
            best = &rendering;
    }
    return best;
}

QSize ArtworkIconEngine::actualSize(const QSize& size, QIcon::Mode, QIcon::State)
{
    const Rendering* rendering = closest(size);
    if (rendering == nullptr)
        return {};
    QSize actual = rendering->size;
    // Never larger than asked for, as Qt's own engine does.
    if (actual.width() > size.width() || actual.height() > size.height())
        actual.scale(size, Qt::KeepAspectRatio);
    return actual;
}

QPixmap ArtworkIconEngine::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state)
{
    const Rendering* rendering = closest(size);
    if (rendering == nullptr)
        return {};
    // Not through QPixmap::load, which would keep the rendering in the pixmap cache.
    QImage image = Artwork::read(rendering->file);
    if (image.isNull())
        return {};
    // The reader marks an "@2x" file with its ratio; QIcon sets the ratio it wants on what it gets.
    image.setDevicePixelRatio(1.0);
    const QSize actual = actualSize(size, mode, state);
    if (image.size() != actual)
        image = image.scaled(actual, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QPixmap pixmap = QPixmap::fromImage(std::move(image));
    if (mode == QIcon::Normal || qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        return pixmap;
    // Greyed when disabled, tinted when selected, by the style, as for any other icon.
    QStyleOption option;
    option.palette = QApplication::palette();
    return QApplication::style()->generatedIconPixmap(mode, pixmap, &option);
}

void ArtworkIconEngine::paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state)
{
    const qreal ratio = painter->device() != nullptr ? painter->device()->devicePixelRatio() : 1.0;
    QPixmap drawn = pixmap(rect.size() * ratio, mode, state);
    drawn.setDevicePixelRatio(ratio);
    painter->drawPixmap(rect, drawn);
}

QList<QSize> ArtworkIconEngine::availableSizes(QIcon::Mode mode, QIcon::State state)
{
    // The renderings are the normal, off ones; Qt's engine likewise lists no sizes for modes it generates.
    QList<QSize> sizes;
    if (mode != QIcon::Normal || state != QIcon::Off)
        return sizes;
    for (const Rendering& rendering : std::as_const(renderings_))
        sizes.append(rendering.size);
    return sizes;
}

QIconEngine* ArtworkIconEngine::clone() const
{
    return new ArtworkIconEngine(renderings_);
}

QString ArtworkIconEngine::key() const
{
    return QStringLiteral("ArtworkIconEngine");
}

bool ArtworkIconEngine::isNull()
{
    return renderings_.isEmpty();
}
