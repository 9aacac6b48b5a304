#pragma once

// The three stacked lamp pictures of the main window.
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
};
