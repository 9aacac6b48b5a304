#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>

class QLabel;
class QScreen;
class QWidget;
class QWindow;

// Keeps a window right for the screen it shows on. Whenever the window goes to another screen (moved there, or its
// screen unplugged), or that screen's available area or scale changes (a new resolution, a panel, another scale
// setting), the artwork it was given is chosen again for the scale, so that it stays sharp, and screenAreaChanged()
// tells the window the area it now has. It goes with the window.
class ScreenFollower : public QObject {
    Q_OBJECT
public:
    explicit ScreenFollower(QWidget& window);

    // Shows `resource` (":/lamps/red.png") in `label`, a child of the window, at the rendering its screen needs,
    // now and after every change of screen.
    void showArtwork(QLabel* label, const QString& resource);

signals:
    void screenAreaChanged(const QRect& available);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Picture {
        QPointer<QLabel> label;
        QString resource;
    };

    void follow(QScreen* screen);
    void screenChanged();
    void pickArtwork();

    QWidget& window_;
    QPointer<QWindow> handle_;
    QList<Picture> pictures_;
    QList<QMetaObject::Connection> screenConnections_;
};
