#pragma once

#include "base/Hosts.h"

#include <QString>

// The fixed help texts of the three games' help boxes.
namespace utq::help {

QString ut99Text(const Hosts& hosts);
QString ut2004Text(const Hosts& hosts);
QString ut3Text(const Hosts& hosts);

} // namespace utq::help
