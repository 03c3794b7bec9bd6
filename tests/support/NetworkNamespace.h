#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

// A network namespace of the test's own: nothing in it reaches beyond the machine, so a time-out
// or a failed name look-up there happens for real without a packet leaving. Its only
// interface is its own loopback. A thread enters it with Inside; the rest of the process
// stays where it was.
class NetworkNamespace {
public:
    NetworkNamespace()
        : name_(QStringLiteral("utq-test-%1").arg(QCoreApplication::applicationPid())) {
        run({"netns", "delete", name_}); // a leftover of an earlier run
        ok_ = run({"netns", "add", name_}) &&
              run({"netns", "exec", name_, "ip", "link", "set", "lo", "up"});
        if (!ok_)
            why_ = error_;
    }
    ~NetworkNamespace() {
        if (ok_)
            run({"netns", "delete", name_});
    }

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
    bool ok_ = false;
    QString why_;
    QString error_;
};
