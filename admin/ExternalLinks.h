#pragma once

#include "base/Hosts.h"

#include <QString>

// The fixed pages that the administrator links, the site label and the admin buttons open in
// the user's own browser.
namespace utq::links {

QString serverStopStartUs(const Hosts& hosts);  // "Server Stop/Start - US"
QString remoteServerUs(const Hosts& hosts);     // "UT Remote Server - US", the console's "Admin"
QString remoteServerUk(const Hosts& hosts);     // "UT Remote Server - UK"
QString website(const Hosts& hosts);            // the site label
QString ut3GeneralSettings(const Hosts& hosts); // "UT3 Admin"

// Opens `address` in the desktop's browser and returns at once.
void OpenLink(const QString& address);

} // namespace utq::links
