#pragma once

#include "PageServer.h"
#include "app/qElQuery.h"

#include <QTest>

#include <memory>

// A main window whose pages come from two local page servers: `query` serves the status and
// start pages, `us` stands in for the clan's US server host. The other hosts are never
// contacted by the window.
struct TestWindow {
    PageServer query;
    PageServer us;
    std::unique_ptr<utq::qElQuery> window;
    QStringList failures;

    TestWindow() {
        utq::Hosts hosts{query.hostAndPort(), us.hostAndPort(), QStringLiteral("uk.qel.example"),
                         QStringLiteral("www.qel.example"), QStringLiteral("ts.qel.example")};
        window = std::make_unique<utq::qElQuery>(hosts);
        window->setFailureReporter([this](const QString& message) { failures.append(message); });
    }

    utq::qElQuery* operator->() const { return window.get(); }

    template <typename T> T* control(const char* name) const {
        return window->findChild<T*>(QLatin1String(name));
    }
};
