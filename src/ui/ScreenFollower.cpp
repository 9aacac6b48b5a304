#include "ui/ScreenFollower.h"

#include "ui/Artwork.h"

#include <QEvent>
#include <QLabel>
#include <QScreen>
#include <QWidget>
#include <QWindow>

ScreenFollower::ScreenFollower(QWidget& window) : QObject(&window), window_(window)
{
    // The window system's window, whose screen is followed, comes with the first show.
    window.installEventFilter(this);
}

void ScreenFollower::showArtwork(QLabel* label, const QString& resource)
{
    pictures_.append({label, resource});
    label->setPixmap(Artwork::pixmap(resource, label->devicePixelRatioF()));
}

bool ScreenFollower::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &window_ && event->type() == QEvent::Show && handle_ == nullptr && window_.windowHandle()) {
        handle_ = window_.windowHandle();
        connect(handle_, &QWindow::screenChanged, this, [this](QScreen* screen) {
            follow(screen);
            screenChanged();
        });
        follow(handle_->screen());
        // Made before it was shown, the artwork took the primary screen's scale.
        pickArtwork();
    }
    return QObject::eventFilter(watched, event);
}

void ScreenFollower::follow(QScreen* screen)
{
    for (const QMetaObject::Connection& connection : screenConnections_)
        disconnect(connection);
    screenConnections_.clear();
    if (screen == nullptr)
        return;
    // A change of scale changes the logical dots per inch, on Windows; the area follows with it.
    screenConnections_ << connect(screen, &QScreen::availableGeometryChanged, this, &ScreenFollower::screenChanged)
                       << connect(screen, &QScreen::logicalDotsPerInchChanged, this, &ScreenFollower::screenChanged);
}

void ScreenFollower::screenChanged()
{
    pickArtwork();
    if (handle_ && handle_->screen())
        emit screenAreaChanged(handle_->screen()->availableGeometry());
}

void ScreenFollower::pickArtwork()
{
    for (const Picture& picture : std::as_const(pictures_))
        if (picture.label)
            picture.label->setPixmap(Artwork::pixmap(picture.resource, picture.label->devicePixelRatioF()));
}
