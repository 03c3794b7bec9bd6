#include "WindowWorld.h"

#include "FakeServers.h"
#include "NamesOnly.h"
#include "base/Games.h"
#include "queryservice/ClanSettings.h"
#include "queryservice/MasterSettings.h"

namespace bench {
namespace {

// The clan's servers; their query ports have no server behind them.
const QHash<QString, QHostAddress> kNames = {
    {QStringLiteral("us.qel.example"), QHostAddress::LocalHost},
    {QStringLiteral("uk.qel.example"), QHostAddress::LocalHost}};

utq::Hosts clanHosts(const QString& query) {
    return {query, QStringLiteral("us.qel.example"), QStringLiteral("uk.qel.example"),
            QStringLiteral("www.qel.example"), QStringLiteral("ts.qel.example")};
}

} // namespace

WindowWorld::WindowWorld()
    : farm_(
          kListed, 50, [](int server) { return 20 + (server * 7919) % 181; },
          [](int server) {
              const QByteArray name = "Bench " + QByteArray::number(server + 1);
              return fakeservers::ut99(name)({}, 1).value(0).toStdString();
          }) {}

WindowWorld::~WindowWorld() = default;

bool WindowWorld::start(QString& error) {
    std::string farmError;
    if (!farm_.start(farmError)) {
        error =
            QStringLiteral("the fake servers did not start: ") + QString::fromStdString(farmError);
        return false;
    }
    QByteArray listed;
    for (const Ut99ServerFarm::Server& server : farm_.servers())
        listed += "\\ip\\" + QByteArray::fromStdString(server.address()) + ':' +
                  QByteArray::number(server.port);
    master_ = std::make_unique<FakeMaster>(listed + "\\final\\");

    using namespace utq::queryservice;
    ServiceSettings settings = clanServiceSettings(clanHosts({}));
    settings.ownViewsOnly = true;
    settings.favouritesFolder = folder_.path();
    settings.resolve = namesOnly(kNames);
    settings.lists.masters = {
        *parseMasterAddress(QStringLiteral("127.0.0.1:%1").arg(master_->port()))};
    settings.lists.searchLan = false; // a broadcast would leave this machine
    settings.history.target.text = folder_.path() + QStringLiteral("/history.sqlite");
    settings.maxQueriesInFlight = 128;
    settings.maxQueriesPerClientPerSecond = 200;
    settings.maxQueriesPerClient = 128;
    settings.http.connectionsPerClient = 32;
    settings.http.maxConnections = 64;
    service_ = std::make_unique<BackgroundStatusService>(settings);
    if (service_->start() == 0) {
        error = QStringLiteral("the status service could not listen");
        return false;
    }
    return true;
}

utq::Hosts WindowWorld::hosts() const {
    utq::Hosts hosts = clanHosts(service_->hostAndPort());
    hosts.builtInService = true;
    return hosts;
}

QString WindowWorld::ut99ListAddress() const {
    return QStringLiteral("http://%1%2")
        .arg(service_->hostAndPort(),
             QLatin1String(utq::describe(utq::GameKind::UT99).listPagePath));
}

QString timeWarpScript(int factor) {
    return QStringLiteral(R"((() => {
  const k = %1;
  const now = performance.now.bind(performance);
  performance.now = () => now() * k;
  const later = window.setTimeout, every = window.setInterval;
  window.setTimeout = (f, ms, ...rest) => later(f, (Number(ms) || 0) / k, ...rest);
  window.setInterval = (f, ms, ...rest) => every(f, (Number(ms) || 0) / k, ...rest);
})();)")
        .arg(factor);
}

} // namespace bench
