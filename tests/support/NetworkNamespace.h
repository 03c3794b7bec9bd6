#pragma once

#include <QCoreApplication>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

// A network namespace of the test's own: nothing in it reaches beyond the machine, so a time-out
// or a failed name look-up there happens for real without a packet leaving. Its only
// interface is its own loopback. A thread enters it with Inside; the rest of the process
// stays where it was. Each one has a name of its own, and whatever was made is deleted with
// it, also when setting it up failed half-way.
class NetworkNamespace {
public:
    // setUp: commands run inside the namespace once its loopback is up; if one fails, the
    // namespace is not ready.
    explicit NetworkNamespace(const QList<QStringList>& setUp = {})
        : name_(QStringLiteral("utq-test-%1-%2")
                    .arg(QCoreApplication::applicationPid())
                    .arg(++count())) {
        run({"netns", "delete", name_}); // a leftover of an earlier run
        made_ = run({"netns", "add", name_});
        ok_ = made_ && exec({"ip", "link", "set", "lo", "up"});
        for (const QStringList& command : setUp)
            ok_ = ok_ && exec(command);
        if (!ok_)
            why_ = error_;
    }
    ~NetworkNamespace() {
        if (made_)
            run({"netns", "delete", name_});
    }
    NetworkNamespace(const NetworkNamespace&) = delete;
    NetworkNamespace& operator=(const NetworkNamespace&) = delete;

    bool isReady() const { return ok_; }
    QString whyNot() const { return why_; }
    const QString& name() const { return name_; }

    // Sets a sysctl inside the namespace, e.g. "net.ipv4.icmp_echo_ignore_all=1".
    bool sysctl(const QString& setting) {
        return run({"netns", "exec", name_, "sysctl", "-q", "-w", setting});
    }

    // Runs a command inside the namespace and waits for it.
    bool exec(const QStringList& command) {
        return run(QStringList{"netns", "exec", name_} + command);
    }

    // While it lives, sockets that this thread opens and its name look-ups are in the namespace.
    class Inside {
    public:
        explicit Inside(const NetworkNamespace& ns)
            : home_(::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC)) {
            const int target = ::open(qPrintable("/run/netns/" + ns.name()), O_RDONLY | O_CLOEXEC);
            entered_ = home_ >= 0 && target >= 0 && ::setns(target, CLONE_NEWNET) == 0;
            if (target >= 0)
                ::close(target);
        }
        ~Inside() {
            if (entered_)
                (void)::setns(home_, CLONE_NEWNET);
            if (home_ >= 0)
                ::close(home_);
        }
        bool entered() const { return entered_; }

    private:
        int home_;
        bool entered_ = false;
    };

private:
    static int& count() {
        static int made = 0;
        return made;
    }

    bool run(const QStringList& arguments) {
        QProcess ip;
        ip.start(QStringLiteral("ip"), arguments);
        if (!ip.waitForFinished(10000) || ip.exitStatus() != QProcess::NormalExit ||
            ip.exitCode() != 0) {
            error_ = QStringLiteral("ip %1: %2")
                         .arg(arguments.join(' '),
                              QString::fromLocal8Bit(ip.readAllStandardError()).trimmed());
            return false;
        }
        return true;
    }

    QString name_;
    bool made_ = false;
    bool ok_ = false;
    QString why_;
    QString error_;
};
