#include "fakefolders.h"
#include "modshell.h"
#include "recordingcaptureview.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

bool touch(const QString& path) {
    return QFile(path).open(QIODevice::WriteOnly);
}

// Points the desktop's documents folder somewhere else for the life of the object.
class DocumentsDirEnv {
public:
    explicit DocumentsDirEnv(const QString& documents)
        : m_oldConfig(qgetenv("XDG_CONFIG_HOME")) {
        QFile dirs(m_config.filePath(QStringLiteral("user-dirs.dirs")));
        if (dirs.open(QIODevice::WriteOnly))
            dirs.write("XDG_DOCUMENTS_DIR=\"" + documents.toUtf8() + "\"\n");
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
    }
    ~DocumentsDirEnv() {
        if (m_oldConfig.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", m_oldConfig);
    }
    DocumentsDirEnv(const DocumentsDirEnv&) = delete;
    DocumentsDirEnv& operator=(const DocumentsDirEnv&) = delete;

private:
    QTemporaryDir m_config;
    QByteArray m_oldConfig;
};

} // namespace

class ModShellTest : public QObject {
    Q_OBJECT

private slots:
    void lookup_data();
    void lookup();
    void documentsFolderIsMadeWhenMissing();
    void documentsFolderAlreadyThere();
    void documentsFolderThatCannotBeThere();
    void otherFoldersAreAnError();
};

void ModShellTest::lookup_data() {
    QTest::addColumn<qint32>("csidl");
    QTest::addColumn<qint32>("code");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("messages");

    const QString box = QStringLiteral("message Failure in modShell:GetFolderPath|");
    QTest::newRow("found") << 5 << 0 << true << QStringLiteral("/home/ann/Documents")
                           << QStringList();
    QTest::newRow("does not exist: silent")
        << 5 << 1 << false << QStringLiteral("kept") << QStringList();
    QTest::newRow("error code") << 5 << -5 << false << QStringLiteral("kept")
                                << QStringList{box + "Error code: -5 returned for CSIDL value: 5"};
    QTest::newRow("error code above 2^31")
        << 16 << FolderCode::InvalidArgument << false << QStringLiteral("kept")
        << QStringList{box + "Error code: -2147024809 returned for CSIDL value: 16"};
    QTest::newRow("code 2") << 5 << 2 << false << QStringLiteral("kept")
                            << QStringList{box + "Error code: 2 returned for CSIDL value: 5"};
}

void ModShellTest::lookup() {
    QFETCH(qint32, csidl);
    QFETCH(qint32, code);
    QFETCH(bool, result);
    QFETCH(QString, path);
    QFETCH(QStringList, messages);

    FakeFolders folders;
    folders.code = code;
    folders.answer = QStringLiteral("/home/ann/Documents");
    RecordingCaptureView view;
    modShell shell(folders, view);

    QString found = QStringLiteral("kept");
    QCOMPARE(shell.GetFolderPath(csidl, found), result);
    QCOMPARE(found, path);
    QCOMPARE(folders.asked, QList<qint32>{csidl});
    QCOMPARE(view.events, messages); // the box, once, and nothing else
}

void ModShellTest::documentsFolderIsMadeWhenMissing() {
    QTemporaryDir home;
    const QString documents = home.filePath(QStringLiteral("new account/Papers"));
    DocumentsDirEnv env(documents);

    SystemFolderQuery system;
    RecordingCaptureView view;
    modShell shell(system, view);
    QString found;
    QVERIFY(shell.GetFolderPath(Csidl::Personal, found));
    QCOMPARE(found, documents);
    QVERIFY(QFileInfo(documents).isDir());
    QVERIFY(view.events.isEmpty());
}

void ModShellTest::documentsFolderAlreadyThere() {
    QTemporaryDir home;
    QVERIFY(QDir(home.path()).mkdir(QStringLiteral("Docs")));
    QVERIFY(touch(home.filePath(QStringLiteral("Docs/kept.txt"))));
    // A trailing separator in the desktop's setting is not passed on.
    DocumentsDirEnv env(home.filePath(QStringLiteral("Docs/")));

    SystemFolderQuery system;
    QString found;
    QCOMPARE(system.folderPath(Csidl::Personal, found), FolderCode::Ok);
    QCOMPARE(found, home.filePath(QStringLiteral("Docs")));
    QVERIFY(!found.endsWith(QDir::separator()));
    QVERIFY(!found.contains(QChar(0)));
    QVERIFY(QFile::exists(home.filePath(QStringLiteral("Docs/kept.txt"))));
}

void ModShellTest::documentsFolderThatCannotBeThere() {
    QTemporaryDir home;
    QVERIFY(touch(home.filePath(QStringLiteral("plain file"))));
    DocumentsDirEnv env(home.filePath(QStringLiteral("plain file/Documents")));

    SystemFolderQuery system;
    RecordingCaptureView view;
    modShell shell(system, view);
    QString found = QStringLiteral("kept");
    QCOMPARE(system.folderPath(Csidl::Personal, found), FolderCode::Missing);
    QVERIFY(!shell.GetFolderPath(Csidl::Personal, found));
    QCOMPARE(found, QStringLiteral("kept"));
    QVERIFY(view.events.isEmpty());
}

void ModShellTest::otherFoldersAreAnError() {
    SystemFolderQuery system;
    RecordingCaptureView view;
    modShell shell(system, view);
    QString found;
    QVERIFY(!shell.GetFolderPath(0x1a, found));
    QVERIFY(found.isEmpty());
    QCOMPARE(view.messages(),
             QStringList{QStringLiteral("message Failure in modShell:GetFolderPath|Error code: "
                                        "-2147024809 returned for CSIDL value: 26")});
}

QTEST_GUILESS_MAIN(ModShellTest)
#include "tst_modshell.moc"
