// The status queries of the six query and favourites tabs: each sends the tab's web view to
// the server's status page.
#include "app/qElQuery.h"

#include "platform/WebView.h"
#include "query/FavouriteSelection.h"
#include "query/StatusPages.h"

#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

namespace utq {

std::optional<int> qElQuery::selectedFavourite(GameKind game) const {
    // The tab's option buttons in the order they are examined.
    const auto optionOf = [&](int i) -> const QRadioButton* {
        switch (game) {
        case GameKind::UT99:
            return Option1[i];
        case GameKind::UT2004:
            return serverOpt[i + 1];
        case GameKind::UT3:
            return serverFav[i];
        }
        return nullptr;
    };
    std::array<bool, 6> checked{};
    for (int i = 0; i < 6; ++i)
        checked[i] = optionOf(i)->isChecked();
    return query::selectedFavouriteRow(game, checked);
}

void qElQuery::clearUt99PingResult(QLineEdit* resultBox, QLineEdit* timeBox) {
    // The tab's last ping no longer describes what the view shows; the two UT99 tabs share
    // one status label.
    resultBox->clear();
    lblStatus->clear();
    timeBox->clear();
}

void qElQuery::lookup() {
    WebBrowser1->navigate(
        query::ut99StatusAddress(hosts_.query, txtNameOrIP->text(), txtText2->text()));
    clearUt99PingResult(txtText4[0], txtText4[1]);
}

void qElQuery::lookup1() {
    QString address, queryPort;
    if (const auto row = selectedFavourite(GameKind::UT99)) {
        address = ut99Row(*row).address->text();
        queryPort = ut99Row(*row).fourth->text();
    }
    WebBrowser2->navigate(query::ut99StatusAddress(hosts_.query, address, queryPort));
    clearUt99PingResult(txtText4[3], txtText4[2]);
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
