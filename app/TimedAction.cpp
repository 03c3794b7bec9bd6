#include "app/TimedAction.h"

#include <QProgressBar>
#include <QTimer>

#include <utility>

namespace utq {

TickOutcome decideTick(float barValue) {
    if (barValue <= 90.0f)
        return {false, barValue + 10.0f};
    return {true, 0.0f};
}

TimedAction::TimedAction(QTimer* timer, QProgressBar* bar, Step action, Step completion,
                         FailureReporter reportFailure)
    : timer_(timer), bar_(bar), action_(std::move(action)), completion_(std::move(completion)),
      reportFailure_(std::move(reportFailure)) {}

void TimedAction::press() {
    if (!timer_->isActive()) // enabling an enabled timer leaves its rhythm alone
        timer_->start();
}

void TimedAction::tick() {
    const TickOutcome outcome = decideTick(static_cast<float>(bar_->value()));
    if (!outcome.runsAction) {
        bar_->setValue(static_cast<int>(outcome.nextBarValue));
        return;
    }
    bool failed = false;
    try {
        action_();
    } catch (const Failure& failure) {
        failed = true;
        if (reportFailure_)
            reportFailure_(failure.message());
    } catch (const std::exception& error) {
        failed = true;
        if (reportFailure_)
            reportFailure_(QString::fromLocal8Bit(error.what()));
    }
    // A failed action still returns the button to idle; only the completion step is skipped.
    timer_->stop();
    bar_->setValue(static_cast<int>(outcome.nextBarValue));
    if (!failed && completion_)
        completion_();
}

} // namespace utq
