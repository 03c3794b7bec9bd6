#include "platform/WebEngineSetup.h"

#include <QCoreApplication>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include <unistd.h>

namespace utq::platform {

void prepareWebEngine() {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--process-per-site --disable-gpu");
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
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
