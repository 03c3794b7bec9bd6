// The nine buttons that do not act at once: "Begin Query" on the six query and favourites
// tabs and "Save Changes" on the three favourites tabs. Each owns a timer and a bar.
#include "app/qElQuery.h"

#include <QPushButton>
#include <QTimer>

#include <optional>

namespace utq {

void qElQuery::wireTimedActions() {
    struct Wiring {
        QPushButton* button;
        QTimer* timer;
        QProgressBar* bar;
        void (qElQuery::*action)();
        std::unique_ptr<TimedAction> qElQuery::*instance;
        void (qElQuery::*click)();
        void (qElQuery::*tick)();
        std::optional<GameKind> savedGame; // saves end with a sound and a dialog
    };
    const Wiring wiring[] = {
        {cmdBeginQuery, Timer1, pg, &qElQuery::lookup, &qElQuery::Timer1Action,
         &qElQuery::cmdBeginQuery_Click, &qElQuery::Timer1_Timer, std::nullopt},
        {cmdBeginQuery2, Timer3, pg3, &qElQuery::lookup1, &qElQuery::Timer3Action,
         &qElQuery::cmdBeginQuery2_Click, &qElQuery::Timer3_Timer, std::nullopt},
        {cmdSaveChanges, Timer2, pg2, &qElQuery::lookup2, &qElQuery::Timer2Action,
         &qElQuery::cmdSaveChanges_Click, &qElQuery::Timer2_Timer, GameKind::UT99},
        {cmdBeginQuery04, Timer04, pg04, &qElQuery::lookup04, &qElQuery::Timer04Action,
         &qElQuery::cmdBeginQuery04_Click, &qElQuery::Timer04_Timer, std::nullopt},
        {cmdBeginQuery04f, Timer041, pg04f, &qElQuery::lookup04f, &qElQuery::Timer041Action,
         &qElQuery::cmdBeginQuery04f_Click, &qElQuery::Timer041_Timer, std::nullopt},
        {cmdSaveChanges04f, Timer042, pg04f2, &qElQuery::lookup042, &qElQuery::Timer042Action,
         &qElQuery::cmdSaveChanges04f_Click, &qElQuery::Timer042_Timer, GameKind::UT2004},
        {cmdBeginQueryut3, Timerut3, pgut3, &qElQuery::lookuput3, &qElQuery::Timerut3Action,
         &qElQuery::cmdBeginQueryut3_Click, &qElQuery::Timerut3_Timer, std::nullopt},
        {cmdBeginQueryut3f, Timerut3f, pg2ut3, &qElQuery::lookuput3f, &qElQuery::Timerut3fAction,
         &qElQuery::cmdBeginQueryut3f_Click, &qElQuery::Timerut3f_Timer, std::nullopt},
        {cmdSaveChangesut3, Timerut3s, pg3ut3s, &qElQuery::lookuput3s, &qElQuery::Timerut3sAction,
         &qElQuery::cmdSaveChangesut3_Click, &qElQuery::Timerut3s_Timer, GameKind::UT3},
    };
    for (const Wiring& w : wiring) {
        TimedAction::Step completion;
        if (w.savedGame)
            completion = [this, game = *w.savedGame] {
                saveCompleted(game);
            };
        this->*w.instance = std::make_unique<TimedAction>(
            w.timer, w.bar, [this, action = w.action] { (this->*action)(); }, std::move(completion),
            [this](const QString& message) { report(message); });
        connect(w.button, &QPushButton::clicked, this, w.click);
        connect(w.timer, &QTimer::timeout, this, w.tick);
    }
}

// The handlers only pass the click or the tick on; TimedAction decides.
void qElQuery::cmdBeginQuery_Click() { Timer1Action->press(); }
void qElQuery::cmdBeginQuery2_Click() { Timer3Action->press(); }
void qElQuery::cmdSaveChanges_Click() { Timer2Action->press(); }
void qElQuery::cmdBeginQuery04_Click() { Timer04Action->press(); }
void qElQuery::cmdBeginQuery04f_Click() { Timer041Action->press(); }
void qElQuery::cmdSaveChanges04f_Click() { Timer042Action->press(); }
void qElQuery::cmdBeginQueryut3_Click() { Timerut3Action->press(); }
void qElQuery::cmdBeginQueryut3f_Click() { Timerut3fAction->press(); }
void qElQuery::cmdSaveChangesut3_Click() { Timerut3sAction->press(); }
void qElQuery::Timer1_Timer() { Timer1Action->tick(); }
void qElQuery::Timer3_Timer() { Timer3Action->tick(); }
void qElQuery::Timer2_Timer() { Timer2Action->tick(); }
void qElQuery::Timer04_Timer() { Timer04Action->tick(); }
void qElQuery::Timer041_Timer() { Timer041Action->tick(); }
void qElQuery::Timer042_Timer() { Timer042Action->tick(); }
void qElQuery::Timerut3_Timer() { Timerut3Action->tick(); }
void qElQuery::Timerut3f_Timer() { Timerut3fAction->tick(); }
void qElQuery::Timerut3s_Timer() { Timerut3sAction->tick(); }

} // namespace utq
