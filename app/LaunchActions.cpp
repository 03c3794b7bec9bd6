// "Launch Game" on the two UT99 tabs: the tab's web view is sent to the unreal:// address,
// which the desktop hands to the game client registered for it.
#include "app/qElQuery.h"

#include "launch/LaunchAddress.h"
#include "platform/WebView.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace utq {

void qElQuery::wireLaunches() {
    connect(cmdLaunchGame, &QPushButton::clicked, this, &qElQuery::cmdLaunchGame_Click);
    connect(cmdLaunchGame2, &QPushButton::clicked, this, &qElQuery::cmdLaunchGame2_Click);
}

void qElQuery::cmdLaunchGame_Click() {
    WebBrowser1->navigate(launch::launchAddress(txtNameOrIP->text(), txtText3->text()));
    clearUt99PingResult(txtText4[0], txtText4[1]);
}

void qElQuery::cmdLaunchGame2_Click() {
    QString host, port;
    if (const auto row = selectedFavourite(GameKind::UT99)) {
        host = ut99Row(*row).address->text();
        port = ut99Row(*row).port->text(); // the game port, never the query port
    }
    WebBrowser2->navigate(launch::launchAddress(host, port));
    clearUt99PingResult(txtText4[3], txtText4[2]);
}

} // namespace utq
