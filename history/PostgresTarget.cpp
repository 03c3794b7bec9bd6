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
        target.error = QStringLiteral("not a PostgreSQL address (%1)").arg(url.errorString());
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

} // namespace utq::history
