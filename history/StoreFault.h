#pragma once

#include "history/Schema.h"

#include <QSqlError>
#include <QString>

// What a failed SQL statement means for the history, in the user's words.
namespace utq::history {

struct StoreFault {
    enum class Kind {
        Full,        // no room left: writes fail until there is
        ReadOnly,    // the file or the server takes no writes
        Locked,      // another program holds the database
        Unreachable, // the server is gone or the connection broke
        Damaged,     // the file is not what it should be: leave it alone
        Other,
    };
    Kind kind = Kind::Other;
    QString text;

    // Whether trying again later may work.
    bool passes() const { return kind != Kind::Damaged; }
};

// `place`: the file, or "PostgreSQL at host:port"; `connectionLost`: a check of the connection
// after the failure found it broken.
StoreFault faultOf(const QSqlError& error, Dialect dialect, const QString& place,
                   bool connectionLost = false);

} // namespace utq::history
