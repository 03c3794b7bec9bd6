#include "queryservice/pages/Assets.h"

#include "queryservice/pages/ListJson.h"
#include "queryservice/pages/StatusJson.h"

#include <QFile>

namespace utq::queryservice::pages::assets {
namespace {

// Files compiled in cannot be missing: one left out of the build would show in every page's
// test.
QByteArray compiledIn(const char* name) {
    QFile file(QStringLiteral(":/pages/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

const QString& pageStyle() {
    static const QString style = QString::fromUtf8(compiledIn("page.css"));
    return style;
}

const QString& startPageStyle() {
    static const QString style = QString::fromUtf8(compiledIn("start-page.css"));
    return style;
}

const QString& listPageStyle() {
    static const QString style = QString::fromUtf8(compiledIn("list-page.css"));
    return style;
}

const QString& historyPageStyle() {
    static const QString style = QString::fromUtf8(compiledIn("history-page.css"));
    return style;
}

const QByteArray& historyScript() {
    static const QByteArray script = compiledIn("history.js");
    return script;
}

const QByteArray& listScript() {
    static const QByteArray script = compiledIn("list.js").replace("@API@", kApiListPath);
    return script;
}

const QByteArray& liveScript() {
    static const QByteArray script = compiledIn("live.js").replace("@API@", kApiStatusPath);
    return script;
}

} // namespace utq::queryservice::pages::assets
