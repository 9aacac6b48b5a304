#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSize>
#include <QString>

// The committed artwork as a scaled screen needs it. Each picture is there at its own size and at two and three
// times it ("name@2x.png", "name@3x.png"), rendered from its drawing, so that nothing is ever stretched up.
namespace Artwork {

// The rendering of `resource` (":/lamps/red.png") that is at least as fine as `devicePixelRatio` asks, with that
// rendering's ratio set, so that a label shows it at the picture's own size. A label scales it down smoothly to a
// ratio in between (125 %, 150 %), and the plain rendering serves where a finer one is missing.
QPixmap pixmap(const QString& resource, qreal devicePixelRatio);

// One rendering file as it is, with the ratio its "@2x" name gives; null where it is missing or not a PNG.
QImage read(const QString& file);
// Its size in pixels from its header alone; invalid where it is missing or not a PNG.
QSize sizeOf(const QString& file);

// All three renderings of `resource`, for icons that Qt draws at sizes and ratios of its own choosing.
QIcon icon(const QString& resource);

// The program icon: 16, 22, 32, 48, 64 and 128 pixels, each at the three ratios.
QIcon programIcon();

} // namespace Artwork
