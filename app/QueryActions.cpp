// The "Begin Query" buttons of the six query and favourites tabs: each press fills its bar,
// and the full bar sends the tab's web view to the server's status page.
#include "app/qElQuery.h"

#include "platform/WebView.h"
#include "query/FavouriteSelection.h"
#include "query/StatusPages.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace utq {

void qElQuery::wireTimedActions() {
    const auto make = [this](QTimer* timer, QProgressBar* bar, void (qElQuery::*action)()) {
        return std::make_unique<TimedAction>(
            timer, bar, [this, action] { (this->*action)(); }, TimedAction::Step{},
            [this](const QString& message) { report(message); });
    };
    Timer1Action = make(Timer1, pg, &qElQuery::lookup);
    Timer3Action = make(Timer3, pg3, &qElQuery::lookup1);
    Timer04Action = make(Timer04, pg04, &qElQuery::lookup04);
    Timer041Action = make(Timer041, pg04f, &qElQuery::lookup04f);
    Timerut3Action = make(Timerut3, pgut3, &qElQuery::lookuput3);
    Timerut3fAction = make(Timerut3f, pg2ut3, &qElQuery::lookuput3f);

    connect(cmdBeginQuery, &QPushButton::clicked, this, &qElQuery::cmdBeginQuery_Click);
    connect(cmdBeginQuery2, &QPushButton::clicked, this, &qElQuery::cmdBeginQuery2_Click);
    connect(cmdBeginQuery04, &QPushButton::clicked, this, &qElQuery::cmdBeginQuery04_Click);
    connect(cmdBeginQuery04f, &QPushButton::clicked, this, &qElQuery::cmdBeginQuery04f_Click);
    connect(cmdBeginQueryut3, &QPushButton::clicked, this, &qElQuery::cmdBeginQueryut3_Click);
    connect(cmdBeginQueryut3f, &QPushButton::clicked, this, &qElQuery::cmdBeginQueryut3f_Click);
    connect(Timer1, &QTimer::timeout, this, &qElQuery::Timer1_Timer);
    connect(Timer3, &QTimer::timeout, this, &qElQuery::Timer3_Timer);
    connect(Timer04, &QTimer::timeout, this, &qElQuery::Timer04_Timer);
    connect(Timer041, &QTimer::timeout, this, &qElQuery::Timer041_Timer);
    connect(Timerut3, &QTimer::timeout, this, &qElQuery::Timerut3_Timer);
    connect(Timerut3f, &QTimer::timeout, this, &qElQuery::Timerut3f_Timer);
}

void qElQuery::cmdBeginQuery_Click() {
    Timer1Action->press();
}
void qElQuery::cmdBeginQuery2_Click() {
    Timer3Action->press();
}
void qElQuery::cmdBeginQuery04_Click() {
    Timer04Action->press();
}
void qElQuery::cmdBeginQuery04f_Click() {
    Timer041Action->press();
}
void qElQuery::cmdBeginQueryut3_Click() {
    Timerut3Action->press();
}
void qElQuery::cmdBeginQueryut3f_Click() {
    Timerut3fAction->press();
}
void qElQuery::Timer1_Timer() {
    Timer1Action->tick();
}
void qElQuery::Timer3_Timer() {
    Timer3Action->tick();
}
void qElQuery::Timer04_Timer() {
    Timer04Action->tick();
}
void qElQuery::Timer041_Timer() {
    Timer041Action->tick();
}
void qElQuery::Timerut3_Timer() {
    Timerut3Action->tick();
}
void qElQuery::Timerut3f_Timer() {
    Timerut3fAction->tick();
}

std::optional<int> qElQuery::selectedFavourite(GameKind game) const {
    std::array<bool, 6> checked{};
    for (int i = 0; i < 6; ++i) {
        const QRadioButton* option = game == GameKind::UT99     ? Option1[i]
                                     : game == GameKind::UT2004 ? serverOpt[i + 1]
                                                                : serverFav[i];
        checked[i] = option->isChecked();
    }
    return query::selectedFavouriteRow(game, checked);
}

void qElQuery::lookup() {
    WebBrowser1->navigate(
        query::ut99StatusAddress(hosts_.query, txtNameOrIP->text(), txtText2->text()));
    txtText4[0]->clear();
    lblStatus->clear();
    txtText4[1]->clear();
}

void qElQuery::lookup1() {
    QString address, queryPort;
    if (const auto row = selectedFavourite(GameKind::UT99)) {
        address = ut99Row(*row).address->text();
        queryPort = ut99Row(*row).fourth->text();
    }
    WebBrowser2->navigate(query::ut99StatusAddress(hosts_.query, address, queryPort));
    txtText4[3]->clear();
    lblStatus->clear();
    txtText4[2]->clear();
}

void qElQuery::lookup04() {
    WebBrowser6->navigate(
        query::ut2004StatusAddress(hosts_.query, txt04Server->text(), txt04port->text()));
}

void qElQuery::lookup04f() {
    QString address, gamePort;
    if (const auto row = selectedFavourite(GameKind::UT2004)) {
        address = ut2004Row(*row).address->text();
        gamePort = ut2004Row(*row).port->text();
    }
    WebBrowser7->navigate(query::ut2004StatusAddress(hosts_.query, address, gamePort));
}

void qElQuery::lookuput3() {
    WebBrowser4->navigate(query::ut3QuickStatusAddress(hosts_.query, ut3iptxt->text(),
                                                       txtQueryPort->text(), txtServerWeb->text()));
}

void qElQuery::lookuput3f() {
    QString address, queryPort, webPort;
    if (const auto row = selectedFavourite(GameKind::UT3)) {
        address = ut3Row(*row).address->text();
        queryPort = ut3Row(*row).port->text();
        webPort = ut3Row(*row).fourth->text();
    }
    WebBrowser5->navigate(query::ut3FavouritesStatusAddress(hosts_.ut3FavouritesPageHost(), address,
                                                            queryPort, webPort));
}

} // namespace utq
