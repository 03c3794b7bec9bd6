#pragma once

#include "protocols/ServerStatus.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

// UT99's "backslash" status protocol: one request, a reply of one or more datagrams of
// \key\value text, each ending in \queryid\Q.P, the last one followed by \final\.
namespace utq::protocols::ut99 {

// The request for everything at once.
inline constexpr char kStatusRequest[] = "\\status\\";

// Collects the datagrams of one reply, in whatever order and as often as they come. A stock
// server sends parts of about a kilobyte and a few of them; the bounds keep a server that
// sends without end from filling memory.
class ReplyAssembly {
public:
    static constexpr int kMaxPart = 64;               // part numbers 1 to 64
    static constexpr qsizetype kMaxBytes = 64 * 1024; // the parts' datagrams together
    static constexpr qsizetype kMaxItems = 1024;      // key/value items of all parts
    static constexpr qsizetype kMaxText = 255;        // characters of a key or value; more is cut

    // Takes one datagram; false when it does not belong to the reply (another query id, or
    // not backslash text at all) or would take the reply past a bound.
    bool add(const QByteArray& datagram);
    // Every part from 1 to the final one is in.
    bool isComplete() const;
    // The server sent more than any reply holds: waiting longer would only bring more of it.
    bool hasOverflowed() const { return overflowed_; }
    // The key/value items of the parts received so far, in part order (keys in lower case).
    QList<QPair<QString, QString>> items() const;

private:
    bool overflow();

    QMap<int, QList<QPair<QString, QString>>> parts_;
    bool overflowed_ = false;
    qsizetype bytes_ = 0;
    qsizetype items_ = 0;
    QString queryId_;
    int finalPart_ = 0;
    bool unnumberedFinal_ = false;
};

// The status the items describe; unknown keys become rules.
ServerStatus statusFrom(const QList<QPair<QString, QString>>& items);

} // namespace utq::protocols::ut99
