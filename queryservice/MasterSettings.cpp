#include "queryservice/MasterSettings.h"

#include "platform/ProfileReader.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace utq::queryservice {
namespace {

// Room for a dozen masters with long names; ProfileReader's usual 254 characters is not.
constexpr int kMastersValueChars = 4096;

bool isHostName(const QString& host) {
    static const QRegularExpression name(
        QStringLiteral("^(?=.{1,253}$)([A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?\\.)*"
                       "[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?$"));
    return name.match(host).hasMatch();
}

} // namespace

std::optional<MasterAddress> parseMasterAddress(const QString& text) {
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0)
        return std::nullopt;
    const QString host = text.left(colon);
    bool ok = false;
    const int port = text.mid(colon + 1).toInt(&ok);
    if (!ok || port < 1 || port > 65535)
        return std::nullopt;
    // Digits and dots are an IPv4 address in four parts: QHostAddress would take "1.2.3" too.
    static const QRegularExpression dotted(QStringLiteral("^[0-9.]+$"));
    const QHostAddress address(host);
    const bool ipv4 = dotted.match(host).hasMatch();
    if (ipv4 ? host.count(u'.') != 3 || address.protocol() != QAbstractSocket::IPv4Protocol
             : !isHostName(host))
        return std::nullopt;
    return MasterAddress{ipv4 ? address.toString() : host.toLower(), static_cast<quint16>(port)};
}

MasterSettings mastersFrom(const QString& entries) {
    MasterSettings settings;
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    for (const QString& entry : entries.split(blanks, Qt::SkipEmptyParts)) {
        const auto master = parseMasterAddress(entry);
        if (!master)
            settings.malformed.append(entry);
        else if (!settings.masters.contains(*master))
            settings.masters.append(*master);
    }
    return settings;
}

QList<MasterAddress> defaultUt99Masters() {
    QList<MasterAddress> masters;
    for (const char* text : kDefaultUt99Masters)
        masters.append(*parseMasterAddress(QLatin1String(text)));
    return masters;
}

MasterSettings readUt99Masters(const QString& path) {
    const QString value =
        platform::readProfileString(QLatin1String(kMastersSection), QLatin1String(kUt99MastersKey),
                                    path, kMastersValueChars)
            .trimmed();
    if (value.isEmpty())
        return {defaultUt99Masters(), {}};
    return mastersFrom(value);
}

} // namespace utq::queryservice
