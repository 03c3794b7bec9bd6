// The second program: the console of a local UT99 server, which can show the main window.
#include "admin/Delvo.h"
#include "app/BuiltInStatusService.h"
#include "app/qElQuery.h"
#include "base/Hosts.h"
#include "platform/ExecutableFolder.h"
#include "platform/WebEngineSetup.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    utq::platform::prepareWebEngine();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("UT Server Query console"));
    utq::Hosts hosts = utq::Hosts::fromBuild();
    const auto statusService =
        utq::startBuiltInStatusService(hosts, utq::platform::executableFolder());
    utq::Delvo console(hosts, utq::platform::Desktop::real(), [hosts] {
        return new utq::qElQuery(hosts, utq::platform::Desktop::real());
    });
    console.show();
    return QApplication::exec();
}
