#pragma once

#include "PageServer.h"
#include "app/qElQuery.h"
#include "platform/SoundPlayer.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

// Stands in for the sound card, which tests do not have: records what would have played.
class RecordingSoundPlayer : public utq::platform::SoundPlayer {
public:
    QStringList played;
    std::function<void(const QString&)> onPlay; // runs at the moment the sound starts
    void playAsync(const QString& wavPath) override {
        played.append(wavPath);
        if (onPlay)
            onPlay(wavPath);
    }
};

// A main window whose pages come from two local page servers: `query` serves the status and
// start pages, `us` stands in for the clan's US server host. The other hosts are never
// contacted by the window. Its program folder is a fresh temporary folder, which `prepare`
// may fill with favourites files before start-up.
struct TestWindow {
    PageServer query;
    PageServer us;
    QTemporaryDir programFolder;
    std::shared_ptr<RecordingSoundPlayer> sound = std::make_shared<RecordingSoundPlayer>();
    std::unique_ptr<utq::qElQuery> window;
    QStringList failures;

    explicit TestWindow(const std::function<void(const QString& folder)>& prepare = {},
                        const std::function<void(utq::Hosts&)>& adjustHosts = {}) {
        if (prepare)
            prepare(programFolder.path());
        utq::Hosts hosts{query.hostAndPort(), us.hostAndPort(), QStringLiteral("uk.qel.example"),
                         QStringLiteral("www.qel.example"), QStringLiteral("ts.qel.example")};
        if (adjustHosts)
            adjustHosts(hosts);
        utq::platform::Desktop desktop{programFolder.path(), sound,
                                       std::make_shared<utq::platform::TextFileWriter>()};
        window = std::make_unique<utq::qElQuery>(hosts, desktop);
        window->setFailureReporter([this](const QString& message) { failures.append(message); });
    }

    utq::qElQuery* operator->() const { return window.get(); }

    template <typename T> T* control(const char* name) const {
        return window->findChild<T*>(QLatin1String(name));
    }

    QString path(const QString& fileName) const { return programFolder.filePath(fileName); }
};

// Writes `bytes` to `path`, replacing what was there.
inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
