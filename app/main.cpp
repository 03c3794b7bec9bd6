#include "app/BuiltInStatusService.h"
#include "app/qElQuery.h"
#include "base/Hosts.h"
#include "platform/ExecutableFolder.h"
#include "platform/WebEngineSetup.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    utq::platform::prepareWebEngine();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("UT Server Query"));
    utq::Hosts hosts = utq::Hosts::fromBuild();
    const auto statusService =
        utq::startBuiltInStatusService(hosts, utq::platform::executableFolder());
    utq::qElQuery window(hosts);
    return QApplication::exec();
}
