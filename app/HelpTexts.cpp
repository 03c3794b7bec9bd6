#include "app/HelpTexts.h"

#include "app/ClanTag.h"

namespace utq::help {
namespace {

QString fill(const char* text, const Hosts& hosts) {
    return withClanTag(QString::fromUtf8(text))
        .replace(QLatin1String("{site}"), hosts.site)
        .replace(QLatin1String("{voice}"), hosts.voice);
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
The query port is in most cases the game port plus 1.
Example: server port 7777 would be 7778
The page in the query window can be refreshed from its context menu (right-click, Reload) or with the refresh link on the page.

Favorites:
Type your own servers into the rows of the "UT99 Favorite Servers" tab and click "Save Changes". Pick a row with the button at its right, then query, ping or launch it.
)";

constexpr auto kUt2004 = R"(Unreal Tournament 2004 Server Query v{tag}1.3 by: DelvoMan

Troubleshooting:
The preset server may be closed or no longer valid. Pick "Custom" and type the address and game port of a server you know is up.
The status page needs the server's game port ("Server Port", 7777 by default), not its query port.

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
Type your own servers into the rows of the "UT3 Favorite Servers" tab (Q Port is the query port, 6500 by default; W Port the web port) and click "Save Changes". Pick a row with the button at its right, then query or ping it.
)";

} // namespace

QString ut99Text(const Hosts& hosts) { return fill(kUt99, hosts) + fill(kClosingLines, hosts); }

QString ut2004Text(const Hosts& hosts) { return fill(kUt2004, hosts) + fill(kClosingLines, hosts); }

QString ut3Text(const Hosts& hosts) { return fill(kUt3, hosts) + fill(kClosingLines, hosts); }

} // namespace utq::help
