#include "admin/ExternalLinks.h"

#include <QDesktopServices>
#include <QUrl>

namespace utq::links {

QString serverStopStartUs(const Hosts& hosts) {
    return QStringLiteral("http://") + hosts.us + QStringLiteral("/cgi-bin/wwwpman/index.pl");
}

QString remoteServerUs(const Hosts& hosts) {
    return QStringLiteral("http://") + hosts.us + QStringLiteral(":8884/ServerAdmin/");
}

QString remoteServerUk(const Hosts& hosts) {
    return QStringLiteral("http://") + hosts.uk + QStringLiteral(":8884/ServerAdmin/");
}

QString website(const Hosts& hosts) { return QStringLiteral("http://") + hosts.site; }

QString ut3GeneralSettings(const Hosts& hosts) {
    return QStringLiteral("http://") + hosts.uk +
           QStringLiteral(":5080/ServerAdmin/settings/general");
}

void OpenLink(const QString& address) { QDesktopServices::openUrl(QUrl(address)); }

} // namespace utq::links
