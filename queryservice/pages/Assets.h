#pragma once

#include <QByteArray>
#include <QString>

// The pages' style sheets and the start pages' script, kept as CSS and JavaScript files
// (assets/) and compiled in; each is read once.
namespace utq::queryservice::pages::assets {

// The house style of every page (assets/page.css).
const QString& pageStyle();
// The start pages' table of servers, after the house style (assets/start-page.css).
const QString& startPageStyle();
// A list page's table, after the house style (assets/list-page.css).
const QString& listPageStyle();
// The script that keeps a list page up to date, sorts and filters it (assets/list.js).
const QByteArray& listScript();
// The script that fills the start pages' rows (assets/live.js), with the API's address in it.
const QByteArray& liveScript();
// A server's history page, after the house style (assets/history-page.css).
const QString& historyPageStyle();
// The script that says a history page's times in the viewer's zone (assets/history.js).
const QByteArray& historyScript();

} // namespace utq::queryservice::pages::assets
