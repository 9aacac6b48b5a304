#pragma once

#include <QLabel>

// The "?" label of the main window. A left click on it, or Space or Enter while it has the focus, asks for the
// about message; it takes the focus like a button and then shows the style's focus frame. Presses on it are its
// own, so they never reach the window background (which would start a move and take the click away). Assistive
// technology is told it is a button, and can press it.
class AboutLabel : public QLabel {
    Q_OBJECT
public:
    explicit AboutLabel(QWidget* parent);

signals:
    void activated();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool pressed_ = false; // the left button went down here and is not yet released
};
