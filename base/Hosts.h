#pragma once

#include <QString>

namespace utq {

// The hosts the program reaches. Chosen at build time; tests pass their own.
struct Hosts {
    QString query; // status pages and the web views' start pages (host or host:port)
    QString us;    // the clan's US game server; also the start-up text of the UT99 host field
    QString uk;    // the clan's UK game server
    QString site;  // the clan's web site
    QString voice; // the clan's voice server

    // The status pages come from the service inside the program, not from a remote host.
    bool builtInService = false;

    // The host that serves the UT3 favourites page: a remote status service keeps it on the
    // US server host; the built-in one serves it with the others.
    QString ut3FavouritesPageHost() const { return builtInService ? query : us; }

    static Hosts fromBuild();
};

} // namespace utq
