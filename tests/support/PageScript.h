#pragma once

#include "EventLoopWait.h"
#include "platform/WebView.h"

#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <memory>

// Runs a script in the view's page and waits for its result.
inline QVariant runJavaScript(utq::platform::WebView* view, const QString& script) {
    struct Answer {
        QVariant value;
        bool done = false;
    };
    auto answer = std::make_shared<Answer>(); // outlives a wait that gives up
    view->engineView()->page()->runJavaScript(script, [answer](const QVariant& value) {
        answer->value = value;
        answer->done = true;
    });
    waitUntil([&] { return answer->done; }, 5000);
    return answer->value;
}

// The text the view's page shows; empty before the view has an address. (Asking an engine-less
// view for its page would start its engine, which cancels its start page.)
inline QString pageText(utq::platform::WebView* view) {
    if (view->currentUrl().isEmpty())
        return {};
    return runJavaScript(view, QStringLiteral("document.body ? document.body.innerText : ''"))
        .toString();
}
