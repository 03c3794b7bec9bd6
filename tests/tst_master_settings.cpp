// The masters a UT99 list asks, from the settings file beside the program: a file a user
// edits by hand, so anything may be in it.
#include "queryservice/MasterSettings.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace utq::queryservice;

namespace {

QStringList texts(const QList<MasterAddress>& masters) {
    QStringList all;
    for (const MasterAddress& master : masters)
        all.append(master.text());
    return all;
}

} // namespace

class TestMasterSettings : public QObject {
    Q_OBJECT
    QTemporaryDir folder_;
    QString path_ = folder_.filePath(QLatin1String(kSettingsFile));

    void write(const QByteArray& text) {
        QFile file(path_);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }

private slots:
    void aMissingFileSectionOrKeyMeansTheDefaults() {
        QCOMPARE(texts(readUt99Masters(path_).masters).size(), 4);
        write("; nothing set\n[Masters]\n;UT99=master.example.org:28900\n");
        const MasterSettings settings = readUt99Masters(path_);
        QCOMPARE(settings.masters, defaultUt99Masters());
        QVERIFY(settings.malformed.isEmpty());
        QVERIFY(QDir(folder_.path()).mkdir(QLatin1String(kSettingsFile) + QStringLiteral(".d")));
        QCOMPARE(readUt99Masters(folder_.path()).masters, defaultUt99Masters()); // a folder
    }

    // The copy the build places beside the program asks the defaults, and names them: a user
    // who takes out the ';' asks the same masters.
    void thePlacedCopyNamesTheDefaults() {
        QFile placed(QStringLiteral(UTQ_ASSETS_DIR "/utquery.ini"));
        QVERIFY(placed.open(QIODevice::ReadOnly));
        const QByteArray text = placed.readAll();
        write(text);
        QCOMPARE(readUt99Masters(path_).masters, defaultUt99Masters());
        write(QByteArray(text).replace("\n;UT99=", "\nUT99="));
        const MasterSettings uncommented = readUt99Masters(path_);
        QCOMPARE(uncommented.masters, defaultUt99Masters());
        QVERIFY(uncommented.malformed.isEmpty());
    }

    // Hand-edited: blanks and tabs between entries, a duplicate in other letters, entries that
    // are no master address, and a value longer than a usual profile value.
    void eachMalformedEntryIsNamedAndSkipped() {
        const QByteArray longName = QByteArray(60, 'a') + '.' + QByteArray(60, 'b') + ".example";
        write("[masters]\r\nut99 = \"one.example:28900\t1.2.3.4:28900  ONE.example:28900 "
              "two.example 1.2.3:28900 bad_name:1 three.example:0 [::1]:28900 " +
              longName + ":28900 " + QByteArray(64, 'c') +
              ".example:28900 last.example:28900\"\r\n");
        const MasterSettings settings = readUt99Masters(path_);
        QCOMPARE(texts(settings.masters),
                 QStringList({"one.example:28900", "1.2.3.4:28900",
                              QString::fromLatin1(longName) + ":28900", "last.example:28900"}));
        QCOMPARE(settings.malformed, QStringList({"two.example", "1.2.3:28900", "bad_name:1",
                                                  "three.example:0", "[::1]:28900"}) +
                                         QStringList{QString(64, u'c') + ".example:28900"});
    }
};

QTEST_GUILESS_MAIN(TestMasterSettings)
#include "tst_master_settings.moc"
