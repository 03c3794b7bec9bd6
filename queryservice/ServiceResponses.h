#pragma once

#include "queryservice/http/Response.h"
#include "queryservice/pages/Finding.h"
#include "queryservice/pages/StatusPages.h"

#include <QJsonObject>
#include <QString>

// The status service's answers as HTTP: its pages, its script and its JSON, each with the
// headers that keep a browser from taking them for anything else.
namespace utq::queryservice {

http::Response htmlResponse(const QByteArray& html, int status = 200,
                            const char* policy = pages::kContentSecurityPolicy);
http::Response errorResponse(const QString& title, const QString& explanation, int status = 200);
// One of the pages' scripts; never taken for anything but script.
http::Response scriptResponse(const QByteArray& script);
// JSON as the API sends it: application/json, never sniffed nor kept in a cache.
http::Response apiResponse(const QJsonObject& json, int status = 200);
// Plain text for machines (health checks, scrapes), never kept in a cache.
http::Response textResponse(const QByteArray& text, int status = 200,
                            const QByteArray& type = "text/plain; charset=utf-8");

// What a request refused before it was read whole is told, and the reason it is counted under.
http::Response refusalResponse(int status);
QLatin1String refusalReason(int status);

// A finding as a status page, whose refresh link is `refreshTarget` (and which links to the
// server's history page `withHistory`), and as the API's JSON; each with the HTTP status of
// httpStatusOf.
http::Response findingPage(const pages::Finding& finding, const QString& refreshTarget,
                           bool withHistory = false);
http::Response findingJson(const pages::Finding& finding);

} // namespace utq::queryservice
