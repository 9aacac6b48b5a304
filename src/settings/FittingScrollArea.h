#pragma once

#include <QScrollArea>

class QFocusFrame;

// Shows a content of fixed size, which scrolls where the window holding it has to be smaller. The
// control that takes the focus comes into view, and once the keyboard has moved the focus, a frame
// in the text colour marks it: the styles' own marks are faint on some backgrounds.
class FittingScrollArea : public QScrollArea {
    Q_OBJECT
public:
    FittingScrollArea(const QSize& contentSize, QWidget* parent);
    ~FittingScrollArea() override;

    // What the controls are placed on.
    QWidget* content() const { return widget(); }
    // The size that shows all of the content within `available`, or as much as fits with scroll bars.
    QSize sizeWithin(const QSize& available) const;

private:
    void followFocus(QWidget* now);

    QFocusFrame* focusFrame_ = nullptr;
    QMetaObject::Connection focusFollower_;
};
