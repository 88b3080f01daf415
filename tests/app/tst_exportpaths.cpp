#include "exportpaths.h"
#include "fileecg.h"
#include "stagedwrite.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace exportpaths;

class TstExportPaths : public QObject
{
    Q_OBJECT

private slots:
    void names_data()
    {
        QTest::addColumn<QString>("patient");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("dicom");
        QTest::newRow("plain") << "Rex" << "12_17_20240101_101500.ecg"
                               << "/x/Rex_12_17_20240101_101500.ecg" << "/x/Rex_12_17_20240101_101500.dce";
        QTest::newRow("dots kept in the name") << "Mr. Rex" << "12_17_20240101_101500.ecg"
                               << "/x/Mr. Rex_12_17_20240101_101500.ecg" << "/x/Mr. Rex_12_17_20240101_101500.dce";
        QTest::newRow("several dots") << "Rex" << "a.b.ecg" << "/x/Rex_a.b.ecg" << "/x/Rex_a.dce";
        QTest::newRow("escape attempt") << "../../etc/x" << "1_2.ecg"
                               << "/x/.._.._etc_x_1_2.ecg" << "/x/.._.._etc_x_1_2.dce";
        QTest::newRow("reserved characters") << "Bo*?:\"<>|\\\n" << "1_2.ecg"
                               << "/x/Bo__________1_2.ecg" << "/x/Bo__________1_2.dce";
        QTest::newRow("non-ASCII") << "Müller" << "1_2.ecg" << "/x/Müller_1_2.ecg" << "/x/Müller_1_2.dce";
    }

    void names()
    {
        QFETCH(QString, patient);
        QFETCH(QString, file);
        QFETCH(QString, data);
        QFETCH(QString, dicom);
        QCOMPARE(exportDataPath("/x", patient, file), data);
        QCOMPARE(exportDicomPath("/x", patient, file), dicom);
    }

    void shownNames()
    {
        QCOMPARE(dicomFileNameOf("12_17_20240101_101500.ecg"), QString("12_17_20240101_101500.dce"));
        QCOMPARE(dicomFileNameOf("a.b.ecg"), QString("a.dce"));
    }

    void localPaths()
    {
        QCOMPARE(localPathOf(QUrl("file:///home/vet/Exports")), QString("/home/vet/Exports"));
        QCOMPARE(localPathOf(QUrl("file:///home/vet/My%20Exports")), QString("/home/vet/My Exports"));
        QCOMPARE(localPathOf(QUrl("file://server/share/x")), QString("//server/share/x"));
    }

    void kindByContent_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("kind");
        const QByteArray sync("\xAA\xAA\xAA\xAA\x55\x55\x55\x55", 8);
        QTest::newRow("version 2") << sync + QByteArray("\x00\x02", 2) + QByteArray(200, 0)
                                   << int(ImportKind::Recording);
        QTest::newRow("version 1") << sync + QByteArray("\x00\x01", 2) + QByteArray(200, 0)
                                   << int(ImportKind::Recording);
        QTest::newRow("version 3") << sync + QByteArray("\x00\x03", 2) + QByteArray(200, 0)
                                   << int(ImportKind::Unknown);
        QTest::newRow("records only (version 0)") << QByteArray(1600, 0) << int(ImportKind::Unknown);
        QTest::newRow("DICOM") << QByteArray(128, 0) + "DICM" + QByteArray(100, 1) << int(ImportKind::Dicom);
        QTest::newRow("truncated sync") << sync.left(5) << int(ImportKind::Unknown);
        QTest::newRow("empty") << QByteArray() << int(ImportKind::Unknown);
        QTest::newRow("random") << QByteArray("\x13\x37 not a recording at all", 26) << int(ImportKind::Unknown);
    }

    void kindByContent()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, kind);
        QTemporaryDir dir;
        // The name says .ecg whatever the content.
        const QString path = dir.filePath("x.ecg");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        QCOMPARE(int(importKindOf(path)), kind);
    }

    void unreadable()
    {
        QTemporaryDir dir;
        QCOMPARE(int(importKindOf(dir.filePath("missing.ecg"))), int(ImportKind::Unreadable));
    }

    // A report or export goes beside its name first: an existing file is
    // replaced only when that was agreed, a failed write leaves the folder as
    // it was, and no staging file stays behind.
    void stagedWrites_data()
    {
        QTest::addColumn<bool>("existing");
        QTest::addColumn<bool>("replace");
        QTest::addColumn<bool>("writeSucceeds");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QByteArray>("after"); // the destination's bytes afterwards, empty: none
        using stagedwrite::Outcome;
        QTest::newRow("new file") << false << false << true << int(Outcome::Written) << QByteArray("new");
        QTest::newRow("new file, replace allowed") << false << true << true << int(Outcome::Written)
                                                   << QByteArray("new");
        QTest::newRow("existing kept") << true << false << true << int(Outcome::Exists) << QByteArray("earlier");
        QTest::newRow("existing replaced") << true << true << true << int(Outcome::Written) << QByteArray("new");
        QTest::newRow("failed write, nothing there") << false << false << false << int(Outcome::Failed)
                                                     << QByteArray();
        QTest::newRow("failed write keeps the earlier file") << true << true << false << int(Outcome::Failed)
                                                             << QByteArray("earlier");
    }

    void stagedWrites()
    {
        QFETCH(bool, existing);
        QFETCH(bool, replace);
        QFETCH(bool, writeSucceeds);
        QFETCH(int, outcome);
        QFETCH(QByteArray, after);
        QTemporaryDir dir;
        const QString path = dir.filePath("Bella_12_17_20240101_101500.pdf");
        if (existing) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("earlier");
        }
        bool called = false;
        const auto result = stagedwrite::writeFile(path, replace, [&](const QString& staging) {
            called = true;
            // Beside the destination, never the destination itself.
            if (QFileInfo(staging).absolutePath() != QFileInfo(path).absolutePath() || staging == path)
                return false;
            QFile f(staging);
            if (!f.open(QIODevice::WriteOnly))
                return false;
            f.write(writeSucceeds ? "new" : "ne"); // a failed write leaves half a file
            return writeSucceeds;
        });
        QCOMPARE(int(result), outcome);
        QCOMPARE(called, !(existing && !replace));
        QFile f(path);
        if (after.isEmpty()) {
            QVERIFY(!f.exists());
        } else {
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), after);
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 after.isEmpty() ? QStringList() : QStringList{QFileInfo(path).fileName()});
    }

    // The folder can't be written: a failure, nothing left.
    void stagedWriteIntoAFolderThatIsNotThere()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("missing/report.pdf");
        bool called = false;
        QCOMPARE(int(stagedwrite::writeFile(path, false, [&](const QString&) { return called = true; })),
                 int(stagedwrite::Outcome::Failed));
        QVERIFY(!called);
    }
};

QTEST_GUILESS_MAIN(TstExportPaths)
#include "tst_exportpaths.moc"
