#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

// Which master servers a game's internet list is asked from. Masters come and go, so they are
// a setting: in the program, the `[Masters]` section of utquery.ini beside it; in
// utquery-statusd, its --master options.
namespace utq::queryservice {

struct MasterAddress {
    QString host; // a name or an IPv4 address
    quint16 port = 0;

    QString text() const { return host + u':' + QString::number(port); }
    bool operator==(const MasterAddress&) const = default;
};

// The community masters a UT99 list asks when nothing else is set: four masters of three
// operators, each of which answers a whole list well within a master's time bound.
inline constexpr std::array<const char*, 4> kDefaultUt99Masters = {
    "master.333networks.com:28900",
    "master.errorist.eu:28900",
    "master.oldunreal.com:28900",
    "master2.oldunreal.com:28900",
};

// The settings file beside the program, its section and the UT99 list's key.
inline constexpr auto kSettingsFile = "utquery.ini";
inline constexpr auto kMastersSection = "Masters";
inline constexpr auto kUt99MastersKey = "UT99";

// "host:port": a host name or IPv4 address and a port from 1 to 65535; none otherwise.
std::optional<MasterAddress> parseMasterAddress(const QString& text);

struct MasterSettings {
    QList<MasterAddress> masters; // in the order given, each once
    QStringList malformed;        // entries that are no master address, as written
};

// Masters from entries separated by blanks, such as a settings file's value.
MasterSettings mastersFrom(const QString& entries);

// The UT99 masters the settings file at `path` names: the defaults when the file, its section
// or its key is missing or empty.
MasterSettings readUt99Masters(const QString& path);

// The defaults, as MasterAddress values.
QList<MasterAddress> defaultUt99Masters();

} // namespace utq::queryservice
