#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>

class QSocketNotifier;

// This machine's interface addresses, read again whenever the kernel says one was added or
// removed (a routing netlink socket subscribed to address changes). Lives in the thread that
// made it, whose event loop must run for the changes to arrive.
namespace utq::platform {

class OwnAddresses : public QObject {
public:
    explicit OwnAddresses(QObject* parent = nullptr);
    ~OwnAddresses() override;

    // The address is one of this machine's; IPv4 given as IPv4, and IPv6 without a scope.
    bool contains(const QHostAddress& address) const;
    const QList<QHostAddress>& addresses() const { return addresses_; }
    // Changes are followed; false when the netlink socket could not be had, and the addresses
    // are those at the start.
    bool followsChanges() const { return notifier_ != nullptr; }

private:
    void readChanges();
    void readAddresses();

    int socket_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QList<QHostAddress> addresses_;
};

} // namespace utq::platform
