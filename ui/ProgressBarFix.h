#pragma once

#include <QProgressBar>

// The progress bar of the file-operation dialog: a new position is shown at once, never
// moved towards step by step, and a range of 0 to 0 is the marquee (a busy bar without a
// position).
class TProgressBar : public QProgressBar {
    Q_OBJECT

public:
    using QProgressBar::QProgressBar;

    int Position() const { return value(); }
    // Sets the position, held inside the range; the same position again changes nothing.
    void SetPosition(int position);
    int Max() const { return maximum(); }
    // Sets the end of the range (the start stays 0); the position is held inside it.
    void SetMax(int max);
    // The marquee (range 0 to 0), or an empty bar of the range 0 to 1.
    void SetMarquee(bool marquee);
    bool Marquee() const { return minimum() == 0 && maximum() == 0; }
};
