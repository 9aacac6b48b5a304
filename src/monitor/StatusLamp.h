#pragma once

struct CycleReport;

// The three stacked lamp pictures of the main window, and what a cycle found, so that the lamp can
// also say it in words.
class StatusLamp {
public:
    enum Picture {
        Image1, // green: the last cycle found nothing down
        Image2, // red: the last cycle found something down
        Image3, // grey: a cycle runs, or none has ended yet
    };
    virtual ~StatusLamp() = default;
    virtual void setPictureVisible(Picture picture, bool visible) = 0;
    virtual bool isPictureVisible(Picture picture) const = 0;

    // A cycle has begun and nothing has been found down yet.
    virtual void cycleStarted() {}
    // The cycle has ended and the pictures show its outcome; `report` says what it found.
    virtual void cycleEnded(const CycleReport& /*report*/) {}
};
