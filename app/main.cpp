#include "app/Hosts.h"
#include "app/qElQuery.h"
#include "platform/WebEngineSetup.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    utq::platform::prepareWebEngine();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("UT Server Query"));
    utq::qElQuery window(utq::Hosts::fromBuild());
    return QApplication::exec();
}
