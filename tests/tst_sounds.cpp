// The sounds the program ships and the desktop's player. The test machine has no sound card:
// the player must load and stay silent, and never fail.
#include "EventLoopWait.h"

#include "platform/SoundPlayer.h"

#include <QFile>
#include <QTest>
#include <QtEndian>

class TestSounds : public QObject {
    Q_OBJECT
private slots:
    // The desktop's player plays 16-bit PCM; a float or compressed WAV would stay silent.
    void shippedSoundsArePcm16_data() {
        QTest::addColumn<QString>("name");
        for (const char* name : {"wickedsick.wav", "HellNo.wav", "mandown.wav"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void shippedSoundsArePcm16() {
        QFETCH(QString, name);
        QFile file(QStringLiteral(UTQ_ASSETS_DIR "/") + name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray wav = file.readAll();
        QVERIFY(wav.startsWith("RIFF") && wav.mid(8, 8) == "WAVEfmt ");
        QCOMPARE(qFromLittleEndian<quint16>(wav.constData() + 20), quint16(1));  // PCM
        QCOMPARE(qFromLittleEndian<quint16>(wav.constData() + 34), quint16(16)); // bits per sample
        QVERIFY2(wav.size() < 200 * 1024, "sounds stay small");
        QVERIFY(wav.size() > 8 * 1024);
    }

    void thePlayerNeverFails() {
        auto player = utq::platform::desktopSoundPlayer();
        player->playAsync(QStringLiteral(UTQ_ASSETS_DIR "/wickedsick.wav"));
        player->playAsync(QStringLiteral(UTQ_ASSETS_DIR "/wickedsick.wav")); // again while loading
        player->playAsync(QStringLiteral("/nonexistent/HellNo.wav"));        // the default beep
        keepRunningFor(500);
        player->playAsync(QStringLiteral(UTQ_ASSETS_DIR "/wickedsick.wav")); // once loaded
        keepRunningFor(200);
    }
};

QTEST_MAIN(TestSounds)
#include "tst_sounds.moc"
