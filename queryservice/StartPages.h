#pragma once

#include "base/GameKind.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The pages the web views open on, before anything is queried.
namespace utq::queryservice::pages {

struct Preset {
    QString label; // as the tab's picker names it
    QString host;
    QString queryPort;
};

// The start page of `game`'s tabs; the UT99 one shows `ut99Presets`.
QByteArray startPage(GameKind game, const QList<Preset>& ut99Presets);

// What to type on the UT99 tabs, and the presets as links to their status pages.
QByteArray ut99StartPage(const QList<Preset>& presets);
QByteArray ut2004StartPage();
QByteArray ut3StartPage();
// The clan's voice server, and how to connect to it.
QByteArray voiceServerPage(const QString& voiceHost);

} // namespace utq::queryservice::pages
