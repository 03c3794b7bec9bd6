// Reading one value of a favourites file, as the Windows profile reader would, from small
// fixture files that are right, odd or broken.
#include "platform/ProfileReader.h"
#include "platform/Windows1252.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using utq::platform::readProfileString;
namespace cp1252 = utq::platform::windows1252;

class TestProfileReader : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    int files_ = 0;

    // Each fixture gets a file of its own, so no two cases share a path.
    QString fixture(const QByteArray& bytes) {
        const QString path = dir_.filePath(QStringLiteral("fixture%1.ini").arg(++files_));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void readsValues_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const QByteArray written =
            "[SERVER]\r\nServerName=Alpha\r\nServerIP=10.0.0.1\r\nServerPort=7777\r\n";
        QTest::newRow("as written") << written << "SERVER"
                                    << "ServerIP"
                                    << "10.0.0.1";
        QTest::newRow("names ignore case") << written << "server"
                                           << "SERVERip"
                                           << "10.0.0.1";
        QTest::newRow("keys in any order") << QByteArray("[SERVER]\r\nB=2\r\nA=1\r\n") << "SERVER"
                                           << "A"
                                           << "1";
        QTest::newRow("other sections and keys")
            << QByteArray("[Other]\r\nServerName=wrong\r\n[SERVER]\r\nExtra=x\r\nServerName="
                          "right\r\n[Tail]\r\nServerName=late\r\n")
            << "SERVER"
            << "ServerName"
            << "right";
        QTest::newRow("missing section") << QByteArray("[Other]\r\nServerName=x\r\n") << "SERVER"
                                         << "ServerName"
                                         << "";
        QTest::newRow("missing key") << written << "SERVER"
                                     << "QueryPort"
                                     << "";
        QTest::newRow("nothing after =") << QByteArray("[SERVER]\r\nServerName=\r\n") << "SERVER"
                                         << "ServerName"
                                         << "";
        QTest::newRow("blanks around names and values")
            << QByteArray("[ SERVER\t]\r\n \tServerName \t=  Alpha Beta \t\r\n") << "SERVER"
            << "ServerName"
            << "Alpha Beta";
        QTest::newRow("double quotes") << QByteArray("[SERVER]\r\nA=\" spaced \"\r\n") << "SERVER"
                                       << "A"
                                       << " spaced ";
        QTest::newRow("single quotes") << QByteArray("[SERVER]\r\nA='x'\r\n") << "SERVER"
                                       << "A"
                                       << "x";
        QTest::newRow("unbalanced quote stays") << QByteArray("[SERVER]\r\nA=\"x\r\n") << "SERVER"
                                                << "A"
                                                << "\"x";
        QTest::newRow("mixed quotes stay") << QByteArray("[SERVER]\r\nA=\"x'\r\n") << "SERVER"
                                           << "A"
                                           << "\"x'";
        QTest::newRow("comment lines")
            << QByteArray("[SERVER]\r\n;A=commented\r\n  ; B=too\r\nA=live\r\n") << "SERVER"
            << "A"
            << "live";
        QTest::newRow("comment not a key") << QByteArray("[SERVER]\r\n;B=commented\r\n") << "SERVER"
                                           << "B"
                                           << "";
        QTest::newRow("first duplicate wins")
            << QByteArray("[SERVER]\r\nA=first\r\nA=second\r\n") << "SERVER"
            << "A"
            << "first";
        QTest::newRow("first of two sections")
            << QByteArray("[SERVER]\r\nA=one\r\n[SERVER]\r\nA=two\r\nB=only-in-second\r\n")
            << "SERVER"
            << "B"
            << "";
        QTest::newRow("every = after the first")
            << QByteArray("[SERVER]\r\nA=b=c=d\r\n") << "SERVER"
            << "A"
            << "b=c=d";
        // As the Windows reader takes hand-edited lines: a key without '=' is there, empty,
        // and being first it wins; a heading needs its ']' and runs to the last one.
        QTest::newRow("line without =") << QByteArray("[SERVER]\r\nA\r\nA=x\r\n") << "SERVER"
                                        << "A"
                                        << "";
        QTest::newRow("line without = is a key")
            << QByteArray("[SERVER]\r\n  A  \r\nB=2\r\n") << "SERVER"
            << "B"
            << "2";
        QTest::newRow("heading without ] opens nothing")
            << QByteArray("[SERVER\r\nA=1\r\n") << "SERVER"
            << "A"
            << "";
        QTest::newRow("[ without ] does not end the section")
            << QByteArray("[SERVER]\r\n[Other\r\nA=1\r\n") << "SERVER"
            << "A"
            << "1";
        QTest::newRow("name runs to the last ]")
            << QByteArray("[SERVER] ;old]\r\nA=wrong\r\n[SER]VER]\r\nA=1\r\n") << "SER]VER"
            << "A"
            << "1";
        QTest::newRow("a ] inside is no end of the name")
            << QByteArray("[SERVER] ;old]\r\nA=wrong\r\n") << "SERVER"
            << "A"
            << "";
        QTest::newRow("LF only") << QByteArray("[SERVER]\nA=1\nB=2\n") << "SERVER"
                                 << "B"
                                 << "2";
        QTest::newRow("CR only") << QByteArray("[SERVER]\rA=1\rB=2\r") << "SERVER"
                                 << "B"
                                 << "2";
        QTest::newRow("no line end at the end") << QByteArray("[SERVER]\r\nA=1") << "SERVER"
                                                << "A"
                                                << "1";
        QTest::newRow("NUL ends a value")
            << QByteArray("[SERVER]\r\nA=ab\0cd\r\nB=2\r\n", 22) << "SERVER"
            << "A"
            << "ab";
        QTest::newRow("NUL elsewhere harmless")
            << QByteArray("[SERVER]\r\nA=ab\0cd\r\nB=2\r\n", 22) << "SERVER"
            << "B"
            << "2";
        QTest::newRow("Windows-1252") << QByteArray("[SERVER]\r\nA=Caf\xe9 \x80\r\n") << "SERVER"
                                      << "A" << QString::fromUtf8("Café €");
        QTest::newRow("unassigned bytes") << QByteArray("[SERVER]\r\nA=\x81\x8d\r\n") << "SERVER"
                                          << "A" << QString(QChar(0x81)) + QChar(0x8D);
        QTest::newRow("UTF-8 BOM")
            << QByteArray("\xEF\xBB\xBF[SERVER]\r\nA=Caf\xC3\xA9\r\n") << "SERVER"
            << "A" << QString::fromUtf8("Café");
        QByteArray utf16 = "\xFF\xFE";
        for (char c : QByteArray("[SERVER]\r\nA=wide\r\n"))
            utf16 += QByteArray(1, c) + QByteArray(1, '\0');
        QTest::newRow("UTF-16 BOM") << utf16 << "SERVER"
                                    << "A"
                                    << "wide";
        // A lone surrogate, which UTF-8 cannot hold, and a pair, which it can.
        const QByteArray lone = utf16 + QByteArray("B\0=\0\x00\xD8x\0\x3D\xD8\x00\xDE\x00\xDC", 14);
        QTest::newRow("UTF-16 lone surrogate")
            << lone << "SERVER"
            << "B" << QStringLiteral("\uFFFDx") + QString::fromUtf8("\U0001F600") + u'\uFFFD';
        QTest::newRow("binary junk")
            << QByteArray("\x01\x02[\xff\xfe\x00\x00=\n\n[SERVER]\nA=ok\n", 24) << "SERVER"
            << "A"
            << "ok";
        QTest::newRow("empty file") << QByteArray() << "SERVER"
                                    << "A"
                                    << "";
    }

    void readsValues() {
        QFETCH(QByteArray, file);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QCOMPARE(readProfileString(section, key, fixture(file)), expected);
    }

    void valuesStopAt254Characters() {
        const QByteArray exact(254, 'x'), longer(300, 'y');
        const QString path = fixture("[SERVER]\r\nA=" + exact + "\r\nB=" + longer + "\r\n");
        QCOMPARE(readProfileString("SERVER", "A", path), QString(exact));
        QCOMPARE(readProfileString("SERVER", "B", path), QString(longer.left(254)));
        QCOMPARE(readProfileString("SERVER", "B", path, 10), QString(longer.left(9)));
    }

    void missingOrUnreadableFiles() {
        QCOMPARE(readProfileString("SERVER", "A", dir_.filePath("absent.ini")), QString());
        QCOMPARE(readProfileString("SERVER", "A", dir_.path()), QString()); // a folder
        QCOMPARE(readProfileString("SERVER", "A", QString()), QString());
    }

    void aChangedFileIsReadAgain() {
        const QString path = fixture("[SERVER]\r\nA=old\r\n");
        QCOMPARE(readProfileString("SERVER", "A", path), "old");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[SERVER]\r\nA=newer\r\n");
        file.close();
        QCOMPARE(readProfileString("SERVER", "A", path), "newer");
        QCOMPARE(readProfileString("Other", "A", path), QString());
    }

    void aHugeFileIsReadOnceForAllItsValues() {
        // 40 MB of junk around the section: every one of a loader's 24 reads must still find
        // its value without parsing the file again.
        QByteArray junk;
        junk.reserve(40 * 1024 * 1024 + 100);
        const QByteArray line = "Padding=" + QByteArray(70, 'p') + "\r\n";
        junk += "[Junk]\r\n";
        while (junk.size() < 20 * 1024 * 1024)
            junk += line;
        junk += "[SERVER]\r\nServerName=found\r\n[More]\r\n";
        while (junk.size() < 40 * 1024 * 1024)
            junk += line;
        const QString path = fixture(junk);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(readProfileString("SERVER", "ServerName", path), "found");
        const qint64 first = clock.restart();
        for (int i = 0; i < 24; ++i)
            QCOMPARE(readProfileString("SERVER", "ServerName", path), "found");
        qInfo("first read %lld ms, 24 more reads %lld ms", static_cast<long long>(first),
              static_cast<long long>(clock.elapsed()));
    }

    void windows1252BothWays() {
        QCOMPARE(cp1252::encode(QString::fromUtf8("Café € ™")), QByteArray("Caf\xe9 \x80 \x99"));
        QCOMPARE(cp1252::encode(QString::fromUtf8("日本 ✓")), QByteArray("?? ?"));
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all += static_cast<char>(b);
        QCOMPARE(cp1252::encode(cp1252::decode(all)), all);
    }
};

QTEST_APPLESS_MAIN(TestProfileReader)
#include "tst_profile_reader.moc"
