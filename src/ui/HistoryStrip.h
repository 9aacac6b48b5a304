#pragma once

#include "history/HistoryRules.h"

#include <QString>
#include <QTimeZone>
#include <QWidget>

#include <vector>

// A strip of cells, one per check or one per day, painted by hand. Colour is never the only sign: a check that
// found a target up is a low bar, one that found it down a full bar with a cross, one that could not be made a hollow
// box with a question mark; a day's shade follows its share of failed checks, and a day with any has a mark under
// it. Tab reaches the strip, the arrow keys, Home and End move across its cells, and assistive technology reads the
// strip's words and then each cell's time and state as its value.
class HistoryStrip : public QWidget {
    Q_OBJECT
public:
    enum Shape { Low, Full, Hollow, Empty };
    struct Cell {
        Shape shape = Empty;
        double failedShare = 0.0; // a day's: 0 all up, 1 all down
        bool cross = false;       // a down check
        bool mark = false;        // a day with a failed check
        QString words;            // "14:02, down"
    };

    explicit HistoryStrip(QWidget* parent = nullptr);

    // One cell per check, by time; times read in `zone`.
    static std::vector<Cell> checkCells(const std::vector<HistoryCheck>& checks, const QTimeZone& zone);
    // One cell per local day.
    static std::vector<Cell> dayCells(const std::vector<HistoryDay>& days);

    // The cells, the current one the newest.
    void setCells(std::vector<Cell> cells);
    int cellCount() const { return int(cells_.size()); }
    int current() const { return current_; }
    void setCurrent(int index);
    // The current cell's words, or that there are none.
    QString currentWords() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void currentChanged(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    int cellWidth() const;
    QRectF cellRect(int index) const;

    std::vector<Cell> cells_;
    int current_ = -1;
};
