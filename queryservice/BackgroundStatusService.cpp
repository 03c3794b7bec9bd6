#include "queryservice/BackgroundStatusService.h"

#include <QMetaObject>

namespace utq::queryservice {

BackgroundStatusService::BackgroundStatusService(ServiceSettings settings)
    : settings_(std::move(settings)) {
    thread_.setObjectName(QStringLiteral("status service"));
}

BackgroundStatusService::~BackgroundStatusService() {
    if (!thread_.isRunning())
        return;
    // The service goes with its own thread, before the thread ends.
    QMetaObject::invokeMethod(
        service_, [service = service_] { delete service; }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

quint16 BackgroundStatusService::start() {
    if (thread_.isRunning())
        return port_;
    service_ = new StatusService(settings_);
    service_->moveToThread(&thread_);
    thread_.start();
    QMetaObject::invokeMethod(
        service_, [this] { port_ = service_->listen(); }, Qt::BlockingQueuedConnection);
    return port_;
}

QString BackgroundStatusService::hostAndPort() const {
    return QStringLiteral("127.0.0.1:%1").arg(port_);
}

} // namespace utq::queryservice
