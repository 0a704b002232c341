#include "ProgramLookup.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>
#include <sys/stat.h>
#include <unistd.h>

// Which programs may run, by the folders on the way to them and to the settings file.
// Each row lays out a tree of its own under a fresh folder: "path/ mode" makes a
// folder, "path mode" a script, "path -> target" a link, and "nobody" after the mode
// or the target hands the entry to that user.
using namespace Qt::StringLiterals;

class TestProgramTrust : public QObject
{
    Q_OBJECT

private:
    static constexpr uid_t kNobody = 65534;

    std::optional<QTemporaryDir> m_root;

    QString Path(const QString &relative) const { return m_root->filePath(relative); }

    bool Build(const QStringList &layout)
    {
        for (const QString &line : layout) {
            const QStringList parts = line.split(u' ');
            const QByteArray path = QFile::encodeName(Path(parts[0]));
            if (parts[1] == QStringLiteral("->")) {
                if (::symlink(QFile::encodeName(parts[2]).constData(), path.constData()) != 0)
                    return false;
                if (parts.size() > 3 && ::lchown(path.constData(), kNobody, kNobody) != 0)
                    return false;
                continue;
            }
            if (parts[0].endsWith(u'/')) {
                if (::mkdir(path.constData(), 0700) != 0)
                    return false;
            } else {
                QFile script(Path(parts[0]));
                if (!script.open(QIODevice::WriteOnly) || script.write("#!/bin/sh\nexit 0\n") < 0)
                    return false;
            }
            if (::chmod(path.constData(), parts[1].toUInt(nullptr, 8)) != 0)
                return false;
            if (parts.size() > 2 && ::chown(path.constData(), kNobody, kNobody) != 0)
                return false;
        }
        return true;
    }

private Q_SLOTS:
    void init()
    {
        m_root.emplace();
        QVERIFY(m_root->isValid());
    }

    void refusesWhatOthersMayChange_data()
    {
        QTest::addColumn<QStringList>("layout");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("settings");
        // Empty when the program may run; %R stands for the row's folder.
        QTest::addColumn<QString>("refusal");

        const QString ours = u"Vestrel.ini 0600"_s;
        const QString shared = u"the folder %R/shared may be written by others than its owner"_s;
        QTest::addRow("folder anyone may write")
            << QStringList{ours, u"shared/ 0757"_s, u"shared/run 0700"_s} << u"shared/run"_s
            << u"Vestrel.ini"_s << shared;
        QTest::addRow("folder its group may write")
            << QStringList{ours, u"shared/ 0775"_s, u"shared/run 0700"_s} << u"shared/run"_s
            << u"Vestrel.ini"_s << shared;
        QTest::addRow("folder further up")
            << QStringList{ours, u"shared/ 0777"_s, u"shared/bin/ 0755"_s, u"shared/bin/run 0700"_s}
            << u"shared/bin/run"_s << u"Vestrel.ini"_s << shared;
        QTest::addRow("sticky folder anyone may write")
            << QStringList{ours, u"shared/ 01777"_s, u"shared/run 0700"_s} << u"shared/run"_s
            << u"Vestrel.ini"_s << QString();
        QTest::addRow("settings file in a folder anyone may write")
            << QStringList{u"shared/ 0777"_s, u"shared/Vestrel.ini 0600"_s, u"run 0700"_s}
            << u"run"_s << u"shared/Vestrel.ini"_s << shared;
        // The link's folder decides where the name leads, whatever the target's is.
        QTest::addRow("link in a folder anyone may write")
            << QStringList{ours, u"safe/ 0755"_s, u"safe/run 0700"_s, u"shared/ 0777"_s,
                           u"shared/run -> ../safe/run"_s}
            << u"shared/run"_s << u"Vestrel.ini"_s << shared;
        QTest::addRow("link to a folder anyone may write")
            << QStringList{ours, u"shared/ 0777"_s, u"shared/run 0700"_s, u"bin -> shared"_s}
            << u"bin/run"_s << u"Vestrel.ini"_s << shared;
        QTest::addRow("links through safe folders")
            << QStringList{ours,
                           u"safe/ 0755"_s,
                           u"safe/run 0700"_s,
                           u"bin/ 0755"_s,
                           u"bin/run -> ../safe/run"_s,
                           u"also -> bin"_s}
            << u"also/run"_s << u"Vestrel.ini"_s << QString();
        // ".." after a link leaves the link's target, not the link's folder.
        QTest::addRow("parent of a link's target")
            << QStringList{ours,           u"a/ 0755"_s,  u"a/x 0700"_s,        u"b/ 0777"_s,
                           u"b/c/ 0755"_s, u"b/x 0700"_s, u"a/link -> ../b/c"_s}
            << u"a/link/../x"_s << u"Vestrel.ini"_s
            << u"the folder %R/b may be written by others than its owner"_s;
        // Even with the sticky bit, the folder's owner may rename what others keep there.
        QTest::addRow("sticky folder of another user")
            << QStringList{ours, u"shared/ 01777 nobody"_s, u"shared/run 0700"_s} << u"shared/run"_s
            << u"Vestrel.ini"_s << u"the folder %R/shared belongs to neither this user nor root"_s;
        // Another user's link in a sticky folder leads wherever they chose.
        QTest::addRow("another user's link in a sticky folder")
            << QStringList{ours, u"safe/ 0755"_s, u"safe/run 0700"_s, u"shared/ 01777"_s,
                           u"shared/run -> ../safe/run nobody"_s}
            << u"shared/run"_s << u"Vestrel.ini"_s
            << u"the link %R/shared/run in a folder others may write belongs to neither this "
               u"user, root nor the folder's owner"_s;
        QTest::addRow("our link in a sticky folder")
            << QStringList{ours, u"safe/ 0755"_s, u"safe/run 0700"_s, u"shared/ 01777"_s,
                           u"shared/run -> ../safe/run"_s}
            << u"shared/run"_s << u"Vestrel.ini"_s << QString();
        // Only the folder's owner could have put it there.
        QTest::addRow("another user's link in a folder of ours")
            << QStringList{ours, u"safe/ 0755"_s, u"safe/run 0700"_s, u"bin/ 0755"_s,
                           u"bin/run -> ../safe/run nobody"_s}
            << u"bin/run"_s << u"Vestrel.ini"_s << QString();
        QTest::addRow("folder of another user")
            << QStringList{ours, u"theirs/ 0755 nobody"_s, u"theirs/run 0700"_s} << u"theirs/run"_s
            << u"Vestrel.ini"_s << u"the folder %R/theirs belongs to neither this user nor root"_s;
        QTest::addRow("program of another user")
            << QStringList{ours, u"run 0755 nobody"_s} << u"run"_s << u"Vestrel.ini"_s
            << u"%R/run belongs to neither this user nor root"_s;
    }
    void refusesWhatOthersMayChange()
    {
        QFETCH(QStringList, layout);
        QFETCH(QString, program);
        QFETCH(QString, settings);
        QFETCH(QString, refusal);
        if (layout.join(u' ').contains(QStringLiteral("nobody")) && ::geteuid() != 0)
            QSKIP("handing a file to another user takes root");
        QVERIFY(Build(layout));
        const ProgramToRun found =
            FindProgram(u'"' + Path(program) + QStringLiteral("\" --now"), Path(settings));
        QCOMPARE(found.refusal, QString(refusal).replace(QStringLiteral("%R"), m_root->path()));
        QCOMPARE(found.file.isValid(), refusal.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestProgramTrust)
#include "tst_program_trust.moc"
