#include "ui/ProgressBarFix.h"

#include <algorithm>

void TProgressBar::SetPosition(int position)
{
    if (Marquee()) {
        return;
    }
    position = std::clamp(position, minimum(), maximum());
    if (position == value()) {
        return;
    }
    setValue(position);
    // Drawn with the next paint, in one step.
    update();
}

void TProgressBar::SetMax(int max)
{
    const int position = std::clamp(value(), 0, std::max(0, max));
    setRange(0, std::max(0, max));
    setValue(position);
}

void TProgressBar::SetMarquee(bool marquee)
{
    if (marquee) {
        setRange(0, 0);
    } else if (Marquee()) {
        setRange(0, 1);
        setValue(0);
    }
}
