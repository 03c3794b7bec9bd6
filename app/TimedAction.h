#pragma once

#include "base/Failure.h"

#include <QObject>

#include <functional>

class QProgressBar;
class QTimer;

namespace utq {

// What one tick does to a bar that holds `barValue`: below or at 90 the bar grows by ten;
// above it the action runs and the bar empties. From an empty bar the eleventh tick acts.
struct TickOutcome {
    bool runsAction;
    float nextBarValue;
};
TickOutcome decideTick(float barValue);

// A button that does not act at once: its press starts a 100 ms timer that fills a progress
// bar in steps of ten, and the tick that finds the bar full runs the action, stops the timer
// and empties the bar, then runs the completion step if there is one.
class TimedAction {
public:
    using Step = std::function<void()>;

    TimedAction(QTimer* timer, QProgressBar* bar, Step action, Step completion = {},
                FailureReporter reportFailure = {});

    // The trigger's click: enables the timer and nothing else, so a press while filling
    // neither restarts the bar nor queues a second action.
    void press();
    // One timer tick.
    void tick();

private:
    QTimer* timer_;
    QProgressBar* bar_;
    Step action_;
    Step completion_;
    FailureReporter reportFailure_;
};

} // namespace utq
