#include "queryservice/StartPages.h"

#include "base/Games.h"
#include "queryservice/StatusPages.h"

#include <QUrlQuery>

namespace utq::queryservice::pages {

QByteArray ut99StartPage(const QList<Preset>& presets) {
    QList<Link> links;
    const StatusPage& page = games::kUt99.statusPage;
    for (const Preset& preset : presets) {
        QUrlQuery query;
        query.addQueryItem(QLatin1String(page.hostKey), preset.host);
        query.addQueryItem(QLatin1String(page.portKey), preset.queryPort);
        links.append(
            {preset.label + QStringLiteral(" (") + preset.host + u':' + preset.queryPort + u')',
             QLatin1String(page.path) + u'?' + query.toString(QUrl::FullyEncoded)});
    }
    return textPage(
        QStringLiteral("UT99 Server Query"),
        {QStringLiteral("Type a server's name or IP address and its query port, or pick a preset, "
                        "then press \"Begin Query\". The query port is most often the game port "
                        "plus 1: server port 7777 would be 7778."),
         QStringLiteral("The server's name, map, players and rules will show here."),
         presets.isEmpty() ? QString() : QStringLiteral("Or look at one of our servers now:")},
        links);
}

QByteArray ut2004StartPage() {
    return textPage(
        QStringLiteral("UT2004 Server Query"),
        {QStringLiteral("Type the server's name or IP address and its game port (most often "
                        "7777), then press \"Begin Query\". The query goes to the port after the "
                        "game port."),
         QStringLiteral("On the favourites tab, pick a row first: its server is the one asked.")});
}

QByteArray ut3StartPage() {
    return textPage(
        QStringLiteral("UT3 Server Query"),
        {QStringLiteral("Type the server's name or IP address and its query port (most often "
                        "6500), then press \"Begin Query\". Give a web port as well to get a link "
                        "to the server's own web statistics; leave it 0 otherwise."),
         QStringLiteral("On the favourites tab, pick a row first: its server is the one asked.")});
}

QByteArray startPage(GameKind game, const QList<Preset>& ut99Presets) {
    switch (game) {
    case GameKind::UT99:
        return ut99StartPage(ut99Presets);
    case GameKind::UT2004:
        return ut2004StartPage();
    case GameKind::UT3:
        return ut3StartPage();
    }
    return {}; // not reached: the switch names every game
}

QByteArray voiceServerPage(const QString& voiceHost) {
    return textPage(
        QStringLiteral("Voice server"),
        {QStringLiteral("Our TeamSpeak 3 server is at %1, on the default port 9987.")
             .arg(voiceHost.isEmpty() ? QStringLiteral("(not set)") : voiceHost),
         QStringLiteral("To talk with us: start TeamSpeak 3, choose Connections, then Connect, "
                        "type the address above as the server address, pick a nickname and "
                        "press Connect.")});
}

} // namespace utq::queryservice::pages
