#include "ui/Artwork.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <numeric>
#include <tuple>
#include <vector>

// The windows load the artwork by these resource paths and fall back to nothing when one is missing, so a
// broken path or a mis-rendered file shows only as an empty picture; these tests make it a failure instead.

namespace {

struct ArtFile {
    QString path;
    int size;
};

// Each picture at its own size, and at two and three times it for scaled screens.
const std::vector<ArtFile>& allArtwork()
{
    static const std::vector<ArtFile> list = [] {
        const std::vector<ArtFile> plain{
            {":/icons/pylvane-16.png", 16},  {":/icons/pylvane-22.png", 22}, {":/icons/pylvane-32.png", 32},
            {":/icons/pylvane-48.png", 48},  {":/icons/pylvane-64.png", 64}, {":/icons/pylvane-128.png", 128},
            {":/lamps/grey.png", 54},        {":/lamps/green.png", 54},      {":/lamps/red.png", 54},
            {":/pictures/storage.png", 128}, {":/pictures/camera.png", 128}, {":/pictures/gears.png", 128},
        };
        std::vector<ArtFile> all = plain;
        for (const ArtFile& art : plain)
            for (int ratio : {2, 3})
                all.push_back(
                    {QString(art.path).replace(".png", QStringLiteral("@%1x.png").arg(ratio)), art.size * ratio});
        return all;
    }();
    return list;
}

QImage load(const QString& path)
{
    return QImage(path).convertToFormat(QImage::Format_ARGB32);
}

// Share of pixels that are at least half opaque: a picture that rendered blank or lost its drawing has none.
double coverage(const QImage& image)
{
    int covered = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            covered += qAlpha(image.pixel(x, y)) >= 128;
    return double(covered) / (image.width() * image.height());
}

} // namespace

TEST(Artwork, EveryResourceLoadsAtItsRequiredSize)
{
    for (const ArtFile& art : allArtwork()) {
        SCOPED_TRACE(art.path.toStdString());
        const QImage image = load(art.path);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.width(), art.size);
        EXPECT_EQ(image.height(), art.size);
    }
}

TEST(Artwork, IconsAndPicturesAreDrawnOnATransparentSurround)
{
    for (const ArtFile& art : allArtwork()) {
        if (art.path.startsWith(":/lamps/"))
            continue;
        SCOPED_TRACE(art.path.toStdString());
        const QImage image = load(art.path);
        const int last = art.size - 1;
        for (const QPoint corner : {QPoint(0, 0), QPoint(last, 0), QPoint(0, last), QPoint(last, last)})
            EXPECT_EQ(qAlpha(image.pixel(corner)), 0) << "corner " << corner.x() << "," << corner.y();
        const double share = coverage(image);
        EXPECT_GT(share, 0.25) << "hardly anything drawn";
        EXPECT_LT(share, 0.95) << "drawn over the whole square";
    }
}

TEST(Artwork, LampsAreOpaqueOnWhiteAndShowTheirColourInTheMiddle)
{
    struct Lamp {
        QString path;
        int hueLow, hueHigh; // accepted hue range in degrees; unused for grey
        bool grey;
    };
    const Lamp lamps[] = {
        {":/lamps/grey.png", 0, 0, true},
        {":/lamps/green.png", 90, 150, false},
        {":/lamps/red.png", -15, 15, false},
    };
    for (const Lamp& lamp : lamps) {
        SCOPED_TRACE(lamp.path.toStdString());
        const QImage image = load(lamp.path);
        ASSERT_FALSE(image.isNull());
        for (const QPoint corner : {QPoint(0, 0), QPoint(53, 0), QPoint(0, 53), QPoint(53, 53)})
            EXPECT_EQ(image.pixel(corner), qRgb(255, 255, 255));
        for (int y = 0; y < 54; ++y)
            for (int x = 0; x < 54; ++x)
                ASSERT_EQ(qAlpha(image.pixel(x, y)), 255) << "transparent at " << x << "," << y;

        // Sample the lower part of the lens, clear of the highlight and of the mark, and average it.
        long r = 0, g = 0, b = 0, n = 0;
        for (int y = 38; y < 44; ++y)
            for (int x = 23; x < 32; ++x) {
                const QColor c = image.pixelColor(x, y);
                r += c.red(), g += c.green(), b += c.blue(), ++n;
            }
        const QColor mean(int(r / n), int(g / n), int(b / n));
        if (lamp.grey) {
            EXPECT_LT(mean.hsvSaturation(), 40) << "grey lamp is tinted";
            EXPECT_GT(mean.value(), 80) << "grey lamp is black";
            EXPECT_LT(mean.value(), 230) << "grey lamp is white";
        } else {
            EXPECT_GT(mean.hsvSaturation(), 150) << "lamp colour is washed out";
            int hue = mean.hsvHue();
            if (hue > 180)
                hue -= 360;
            EXPECT_GE(hue, lamp.hueLow);
            EXPECT_LE(hue, lamp.hueHigh);
        }
    }
}

TEST(Artwork, TheThreeLampsShareOneOutlineSoOnlyTheColourChanges)
{
    // Where the grey lamp is pure white (the surround), the others must be too; otherwise switching the lamp
    // would make it jump or change size.
    const QImage grey = load(":/lamps/grey.png");
    for (const QString other : {":/lamps/green.png", ":/lamps/red.png"}) {
        const QImage image = load(other);
        int differing = 0;
        for (int y = 0; y < 54; ++y)
            for (int x = 0; x < 54; ++x) {
                const bool greyWhite = grey.pixel(x, y) == qRgb(255, 255, 255);
                const bool lit = image.pixel(x, y) != qRgb(255, 255, 255);
                // The coloured lamps may glow faintly into the surround, never the other way round.
                differing += !greyWhite && !lit;
            }
        EXPECT_EQ(differing, 0) << other.toStdString();
    }
}

// Under a colour-vision deficiency red and green look alike, so the lamps must differ in their drawing too: the
// brightness patterns of any two lenses, each taken relative to its own mean, must not follow each other closely.
TEST(Artwork, TheThreeLampsDifferInShapeNotOnlyInColour)
{
    const auto lens = [](const QString& path) {
        const QImage image = load(path);
        std::vector<double> v;
        for (int y = 0; y < 54; ++y)
            for (int x = 0; x < 54; ++x)
                if (std::hypot(x - 26.5, y - 26.5) < 17)
                    v.push_back(qGray(image.pixel(x, y)));
        const double mean = std::accumulate(v.begin(), v.end(), 0.0) / double(v.size());
        for (double& value : v)
            value -= mean;
        return v;
    };
    const auto dot = [](const std::vector<double>& p, const std::vector<double>& q) {
        return std::inner_product(p.begin(), p.end(), q.begin(), 0.0);
    };
    const std::vector<double> lamps[] = {lens(":/lamps/grey.png"), lens(":/lamps/green.png"), lens(":/lamps/red.png")};
    for (int a = 0; a < 3; ++a)
        for (int b = a + 1; b < 3; ++b)
            EXPECT_LT(dot(lamps[a], lamps[b]) / std::sqrt(dot(lamps[a], lamps[a]) * dot(lamps[b], lamps[b])), 0.9)
                << "lamps " << a << " and " << b;
}

// A scaled screen gets a rendering at least as fine as it needs, marked with its ratio, so that the picture keeps
// its size and is never stretched up.
TEST(Artwork, ScaledScreensGetAFinerRendering)
{
    for (const auto& [screen, pixels] : {std::pair{1.0, 54}, {1.25, 108}, {2.0, 108}, {3.0, 162}, {4.0, 162}}) {
        const QPixmap pixmap = Artwork::pixmap(":/lamps/red.png", screen);
        EXPECT_EQ(pixmap.width(), pixels) << screen;
        EXPECT_EQ(pixmap.deviceIndependentSize(), QSizeF(54, 54)) << screen;
    }
    EXPECT_EQ(Artwork::programIcon().pixmap(QSize(128, 128), 2.0).width(), 256);
}

// The icons read a rendering when one is asked for: the closest one at least as large, scaled down smoothly where
// it is larger, the largest where none is large enough, never stretched up.
TEST(Artwork, IconsDrawFromTheClosestRendering)
{
    const QIcon program = Artwork::programIcon();
    EXPECT_EQ(program.availableSizes().size(), 18);
    EXPECT_TRUE(program.availableSizes().contains(QSize(384, 384)));
    EXPECT_TRUE(program.availableSizes(QIcon::Normal, QIcon::On).isEmpty());
    for (const auto& [asked, ratio, pixels] : {std::tuple{16, 1.0, 16},
                                               {22, 1.0, 22},
                                               {20, 1.0, 20},
                                               {64, 3.0, 192},
                                               {128, 2.0, 256},
                                               {400, 1.0, 384},
                                               {1, 1.0, 1}}) {
        const QPixmap pixmap = program.pixmap(QSize(asked, asked), ratio);
        EXPECT_EQ(pixmap.width(), pixels) << asked << " at " << ratio;
        EXPECT_EQ(program.actualSize(QSize(asked, asked) * ratio).width(), pixels) << asked << " at " << ratio;
    }
    // 22 pixels scaled down to 20 looks as the 22-pixel rendering, not as the 32-pixel one.
    const QImage scaled =
        program.pixmap(QSize(20, 20), 1.0).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage direct = QImage(":/icons/pylvane-22.png")
                              .scaled(20, 20, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                              .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(scaled, direct);

    const QIcon lamp = Artwork::icon(":/lamps/red.png");
    EXPECT_EQ(lamp.availableSizes(), QList<QSize>({QSize(54, 54), QSize(108, 108), QSize(162, 162)}));
    EXPECT_EQ(lamp.pixmap(QSize(54, 54), 3.0).width(), 162);
    EXPECT_EQ(lamp.pixmap(QSize(54, 54), 3.0).deviceIndependentSize(), QSizeF(54, 54));
    // The style greys a disabled icon, as it does any other.
    EXPECT_NE(lamp.pixmap(QSize(54, 54), QIcon::Disabled).toImage(), lamp.pixmap(QSize(54, 54)).toImage());
    // Painted, it is the plain rendering at its own size.
    const auto paint = [](const std::function<void(QPainter&, const QRect&)>& draw) {
        QImage surface(54, 54, QImage::Format_ARGB32_Premultiplied);
        surface.fill(Qt::transparent);
        QPainter painter(&surface);
        draw(painter, surface.rect());
        return surface;
    };
    EXPECT_EQ(paint([&lamp](QPainter& p, const QRect& r) { lamp.paint(&p, r); }),
              paint([](QPainter& p, const QRect& r) { p.drawImage(r, QImage(":/lamps/red.png")); }));

    EXPECT_TRUE(Artwork::icon(":/lamps/none.png").isNull());
    EXPECT_TRUE(Artwork::icon(":/lamps/none.png").pixmap(QSize(16, 16)).isNull());
}

// The committed PNGs must be what the SVG sources render to: an SVG edited without re-rendering would ship
// stale artwork. Needs rsvg-convert; small differences between librsvg versions are tolerated.
TEST(Artwork, CommittedPngsMatchTheirSvgSources)
{
    if (QStandardPaths::findExecutable("rsvg-convert").isEmpty())
        GTEST_SKIP() << "rsvg-convert not installed";
    const QString source = QStringLiteral(PYLVANE_SOURCE_DIR);
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    QProcess render;
    render.start("bash", {source + "/scripts/render-artwork.sh", out.path()});
    ASSERT_TRUE(render.waitForFinished(60000));
    ASSERT_EQ(render.exitCode(), 0) << render.readAllStandardError().toStdString();

    for (const ArtFile& art : allArtwork()) {
        SCOPED_TRACE(art.path.toStdString());
        const QImage committed = load(source + "/resources" + art.path.mid(1));
        const QImage fresh = load(out.path() + art.path.mid(1));
        ASSERT_FALSE(committed.isNull());
        ASSERT_FALSE(fresh.isNull());
        ASSERT_EQ(committed.size(), fresh.size());
        long total = 0;
        for (int y = 0; y < fresh.height(); ++y)
            for (int x = 0; x < fresh.width(); ++x) {
                const QRgb a = committed.pixel(x, y), b = fresh.pixel(x, y);
                total += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b)) +
                         std::abs(qAlpha(a) - qAlpha(b));
            }
        EXPECT_LT(double(total) / (fresh.width() * fresh.height() * 4), 2.0) << "re-run scripts/render-artwork.sh";
    }
}
