#include "app/HelpTexts.h"

#include "base/ClanTag.h"
#include "base/Games.h"

namespace utq::help {
namespace {

QString fill(const char* text, const Hosts& hosts, const char* portHint = "") {
    return withClanTag(QString::fromUtf8(text))
        .replace(QLatin1String("{site}"), hosts.site)
        .replace(QLatin1String("{voice}"), hosts.voice)
        .replace(QLatin1String("{portHint}"), QString::fromUtf8(portHint));
}

constexpr auto kClosingLines = R"(
Contact:
Questions, bug reports or a server you would like to see listed: find us on our TeamSpeak server at {voice}, or write to us through the web site.

Credits:
Program by DelvoMan. Status pages by the {tag} clan. Thanks to every server admin who keeps a server up for the rest of us.

Web site:
http://{site}
)";

constexpr auto kUt99 = R"(Troubleshooting:
The preset servers in the list may be offline or no longer valid. Pick "Custom" and type the address and ports of a server you know is up.
If "Launch Game" does nothing, your game does not yet open unreal:// addresses. Download and install the UT99 protocol fix from:
http://{site}/downloads/ut99-protocol-fix.zip
On Linux, register your game for unreal:// addresses instead: README.md, beside this program, shows how in its section "Launching UT99 at a server".

ATTENTION SERVER ADMINS:
Team scores are shown only if your server's UnrealTournament.ini has, under "[IpServer.UdpServerQuery]", the line "bTeamInfo=False" changed to "bTeamInfo=True".

Help:
{portHint}
The page in the query window can be refreshed from its context menu (right-click, Reload) or with the refresh link on the page.

Favorites:
Type your own servers into the rows of the "UT99 Favorite Servers" tab and click "Save Changes". Pick a row with the button at its right, then query, ping or launch it.
)";

constexpr auto kUt2004 = R"(Unreal Tournament 2004 Server Query v{tag}1.3 by: DelvoMan

Troubleshooting:
The preset server may be closed or no longer valid. Pick "Custom" and type the address and game port of a server you know is up.
{portHint}

Favorites:
Type your own servers into the rows of the "UT 2004 Favorite Servers" tab and click "Save Changes". Pick a row with the button at its right, then query or ping it.
)";

constexpr auto kUt3 = R"(Unreal Tournament 3 Server Query v{tag}1.1 by: DelvoMan

Troubleshooting:
The preset server may be offline or no longer valid. Pick "Custom" and type the address and ports of a server you know is up.
The advanced query with the map image needs UT3 Web Stats installed on the server. Download it from:
http://{site}/downloads/ut3-webstats.zip
If UT3 Web Stats is not installed on the server, set the server web port ("Server Web Port" or "W Port") to 0.
Launching UT3 from a web page needs the ut3:// protocol fix. Download it from:
http://{site}/downloads/ut3-protocol-fix.zip

Favorites:
Type your own servers into the rows of the "UT3 Favorite Servers" tab ({portHint}) and click "Save Changes". Pick a row with the button at its right, then query or ping it.
)";

QString helpText(const char* text, GameKind game, const Hosts& hosts) {
    return fill(text, hosts, describe(game).helpPortHint) + fill(kClosingLines, hosts);
}

} // namespace

QString ut99Text(const Hosts& hosts) { return helpText(kUt99, GameKind::UT99, hosts); }

QString ut2004Text(const Hosts& hosts) { return helpText(kUt2004, GameKind::UT2004, hosts); }

QString ut3Text(const Hosts& hosts) { return helpText(kUt3, GameKind::UT3, hosts); }

} // namespace utq::help
