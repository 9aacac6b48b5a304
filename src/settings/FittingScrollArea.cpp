#include "settings/FittingScrollArea.h"

#include <QApplication>
#include <QFocusFrame>
#include <QStyle>

#include <algorithm>

FittingScrollArea::FittingScrollArea(const QSize& contentSize, QWidget* parent) : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::NoFocus);
    auto* content = new QWidget;
    content->setFixedSize(contentSize);
    content->setAutoFillBackground(true);
    setWidget(content);
    focusFrame_ = new QFocusFrame(content);
    focusFollower_ =
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { followFocus(now); });
}

FittingScrollArea::~FittingScrollArea()
{
    // The controls give up the focus while they go, when this area is no longer one.
    disconnect(focusFollower_);
}

QSize FittingScrollArea::sizeWithin(const QSize& available) const
{
    // A scroll bar for one direction takes room from the other.
    const QSize content = widget()->size();
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    bool tall = content.height() > available.height();
    const bool wide = content.width() > available.width() || (tall && content.width() + bar > available.width());
    tall = tall || (wide && content.height() + bar > available.height());
    return {std::min(content.width() + (tall ? bar : 0), available.width()),
            std::min(content.height() + (wide ? bar : 0), available.height())};
}

void FittingScrollArea::followFocus(QWidget* now)
{
    if (!now || !widget()->isAncestorOf(now))
        return;
    ensureWidgetVisible(now);
    // As the styles' own marks, the frame shows once the keyboard has moved the focus.
    focusFrame_->setWidget(window()->testAttribute(Qt::WA_KeyboardFocusChange) ? now : nullptr);
}
