#pragma once

#include <QIconEngine>
#include <QList>
#include <QSize>
#include <QString>

// An icon made of the artwork's PNG renderings that reads a rendering only when a pixmap is asked for and keeps
// none of them. Qt's own engine decodes every file it is given at once and holds them for the icon's life: for
// the program icon's 18 renderings, up to 384 pixels square, that was 1.3 MB held by windows that never draw
// their icon (the window system asks for it once).
class ArtworkIconEngine : public QIconEngine {
public:
    struct Rendering {
        QString file;
        QSize size; // in device pixels
    };

    explicit ArtworkIconEngine(QList<Rendering> renderings);

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override;
    QIconEngine* clone() const override;
    QString key() const override;
    bool isNull() override;

private:
    // The smallest rendering that covers `size`, or the largest where none does; null without renderings.
    const Rendering* closest(const QSize& size) const;

    QList<Rendering> renderings_;
};
