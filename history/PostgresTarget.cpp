#include "history/PostgresTarget.h"

#include <QUrl>

namespace utq::history {

QString PostgresTarget::place() const { return QStringLiteral("%1:%2").arg(host).arg(port); }

bool looksLikePostgres(const QString& text) {
    return text.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           text.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

PostgresTarget parsePostgresTarget(const QString& text) {
    PostgresTarget target;
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || !looksLikePostgres(text)) {
        // Only the reason: the rest of QUrl's message repeats the text, password and all.
        target.error = QStringLiteral("not a PostgreSQL address (%1)")
                           .arg(url.errorString().section(u';', 0, 0));
        return target;
    }
    target.host = url.host(QUrl::FullyDecoded);
    if (target.host.isEmpty())
        target.host = QStringLiteral("localhost");
    target.port = url.port(5432);
    target.user = url.userName(QUrl::FullyDecoded);
    target.password = url.password(QUrl::FullyDecoded);
    target.database = url.path(QUrl::FullyDecoded);
    if (target.database.startsWith(u'/'))
        target.database.remove(0, 1);
    if (target.database.isEmpty() || target.database.contains(u'/'))
        target.error = QStringLiteral("the PostgreSQL address names no database");
    return target;
}

QString withoutPassword(const QString& text) {
    // The user's part ends at the last '@', so that a password holding a '/' or an '@' that
    // was not percent-encoded is left out whole.
    const qsizetype start = text.indexOf(QLatin1String("://"));
    const qsizetype at = text.lastIndexOf(u'@');
    if (start < 0 || at < start)
        return text;
    const qsizetype colon = text.indexOf(u':', start + 3);
    if (colon < 0 || colon > at)
        return text;
    return text.left(colon) + text.mid(at);
}

} // namespace utq::history
