#include "base/Games.h"

#include <QUrl>

namespace utq {
namespace {

// key=value, after '?' for the first item and '&' for the others.
void addItem(QString& address, bool& first, const char* key, const QString& value) {
    address += (first ? u'?' : u'&') + QLatin1String(key) + u'=' +
               QString::fromLatin1(QUrl::toPercentEncoding(value));
    first = false;
}

} // namespace

QString presetAddress(const PresetEntry& preset, const Hosts& hosts) {
    switch (preset.address) {
    case PresetAddress::Own:
        return QString::fromUtf8(preset.ownAddress);
    case PresetAddress::UsHost:
        return hosts.us;
    case PresetAddress::UkHost:
        return hosts.uk;
    }
    return {};
}

QString statusTarget(const StatusPage& page, const char* path, const QString& address,
                     const QString& port, const QString& webPort) {
    QString target = QLatin1String(path);
    bool first = true;
    addItem(target, first, page.hostKey, address);
    addItem(target, first, page.portKey, port);
    if (page.webPortKey)
        addItem(target, first, page.webPortKey, webPort);
    for (const auto& [key, value] : page.fixedItems)
        if (key)
            addItem(target, first, key, QString::fromLatin1(value));
    return target;
}

} // namespace utq
