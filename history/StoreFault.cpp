#include "history/StoreFault.h"

namespace utq::history {

namespace {

// SQLite's primary result codes, as Qt's driver reports them.
enum SqliteCode {
    Busy = 5,
    Locked = 6,
    ReadOnly = 8,
    IoError = 10,
    Corrupt = 11,
    Full = 13,
    CannotOpen = 14,
    NotADatabase = 26,
};

StoreFault::Kind sqliteKind(const QSqlError& error) {
    bool number = false;
    const int code = error.nativeErrorCode().toInt(&number) & 0xff;
    if (!number)
        return StoreFault::Kind::Other;
    switch (code) {
    case Full:
        return StoreFault::Kind::Full;
    case ReadOnly:
        return StoreFault::Kind::ReadOnly;
    case Busy:
    case Locked:
        return StoreFault::Kind::Locked;
    case Corrupt:
    case NotADatabase:
        return StoreFault::Kind::Damaged;
    case IoError:
    case CannotOpen:
    default:
        return StoreFault::Kind::Other;
    }
}

StoreFault::Kind postgresKind(const QSqlError& error) {
    const QString state = error.nativeErrorCode();
    if (state == QLatin1String("53100"))
        return StoreFault::Kind::Full;
    if (state == QLatin1String("25006"))
        return StoreFault::Kind::ReadOnly;
    if (state == QLatin1String("55P03") || state == QLatin1String("40P01"))
        return StoreFault::Kind::Locked;
    if (state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57P")))
        return StoreFault::Kind::Unreachable;
    return StoreFault::Kind::Other;
}

} // namespace

StoreFault faultOf(const QSqlError& error, Dialect dialect, const QString& place,
                   bool connectionLost) {
    StoreFault fault;
    fault.kind = connectionLost               ? StoreFault::Kind::Unreachable
                 : dialect == Dialect::Sqlite ? sqliteKind(error)
                                              : postgresKind(error);
    const QString detail =
        (error.databaseText().isEmpty() ? error.text() : error.databaseText()).simplified();
    switch (fault.kind) {
    case StoreFault::Kind::Full:
        fault.text = QStringLiteral("%1 cannot be written: the disk is full (%2)");
        break;
    case StoreFault::Kind::ReadOnly:
        fault.text = QStringLiteral("%1 cannot be written: it is read-only (%2)");
        break;
    case StoreFault::Kind::Locked:
        fault.text = QStringLiteral("%1 is locked by another program (%2)");
        break;
    case StoreFault::Kind::Unreachable:
        fault.text = QStringLiteral("%1 is unreachable (%2)");
        break;
    case StoreFault::Kind::Damaged:
        fault.text = QStringLiteral("%1 is damaged (%2); it is left as it is and history is off");
        break;
    case StoreFault::Kind::Other:
        fault.text = QStringLiteral("%1 failed (%2)");
        break;
    }
    fault.text = fault.text.arg(place, detail);
    return fault;
}

} // namespace utq::history
