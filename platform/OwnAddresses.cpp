#include "platform/OwnAddresses.h"

#include <QNetworkInterface>
#include <QSocketNotifier>

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace utq::platform {
namespace {

// Reads at one wake-up, at most; the notifier wakes again for the rest.
constexpr int kMostMessagesAtOnce = 64;

int addressChangeSocket() {
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return -1;
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

OwnAddresses::OwnAddresses(QObject* parent) : QObject(parent), socket_(addressChangeSocket()) {
    // Subscribed before the first reading, so that no change falls between the two.
    if (socket_ >= 0) {
        notifier_ = new QSocketNotifier(socket_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &OwnAddresses::readChanges);
    }
    readAddresses();
}

OwnAddresses::~OwnAddresses() {
    delete notifier_;
    if (socket_ >= 0)
        ::close(socket_);
}

bool OwnAddresses::contains(const QHostAddress& address) const {
    return addresses_.contains(address);
}

void OwnAddresses::readChanges() {
    // What changed is not read from the messages: the whole list is read again, which also
    // covers messages lost to a full socket buffer (ENOBUFS).
    char buffer[8192];
    for (int i = 0; i < kMostMessagesAtOnce; ++i) {
        const ssize_t got = ::recv(socket_, buffer, sizeof buffer, 0);
        if (got < 0 && errno != ENOBUFS && errno != EINTR)
            break;
    }
    readAddresses();
}

void OwnAddresses::readAddresses() {
    QList<QHostAddress> found = QNetworkInterface::allAddresses();
    for (QHostAddress& address : found)
        address.setScopeId(QString()); // fe80::1%eth0 is fe80::1 as a page names it
    addresses_ = found;
}

} // namespace utq::platform
