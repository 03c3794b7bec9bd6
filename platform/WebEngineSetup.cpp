#include "platform/WebEngineSetup.h"

#include <QCoreApplication>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include <unistd.h>

namespace utq::platform {

void prepareWebEngine() {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        return; // whoever set them knows better
    // All views show pages of one site: one renderer serves them all. The pages are plain
    // status pages, so the GPU process would only cost memory. The zygote exists to fork
    // sandboxed renderers; without the sandbox it is a spare process.
    QByteArray flags = "--process-per-site --disable-gpu";
    if (qEnvironmentVariableIntValue("QTWEBENGINE_DISABLE_SANDBOX") == 1)
        flags += " --no-zygote";
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}

QWebEngineProfile* sharedWebProfile() {
    static QWebEngineProfile* profile = [] {
        auto* p = QWebEngineProfile::defaultProfile();
        p->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
        p->setHttpCacheMaximumSize(4 * 1024 * 1024);
        p->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
        p->settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::AllowAllUnknownUrlSchemes);
        return p;
    }();
    return profile;
}

} // namespace utq::platform
