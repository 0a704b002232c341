#include "DesktopTextEditor.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The opener is replaced by a script that records the arguments it was given, so
// the test sees exactly what the desktop's opener would see.
class TestDesktopTextEditor : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_folder;
    QString m_opener;
    QString m_record;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        m_opener = m_folder.filePath(QStringLiteral("opener"));
        m_record = m_folder.filePath(QStringLiteral("arguments"));
        QFile script(m_opener);
        QVERIFY(script.open(QIODevice::WriteOnly));
        // Written aside and moved into place, so the test never reads half a record.
        const QByteArray record = QFile::encodeName(m_record);
        script.write("#!/bin/sh\nprintf '%s\\n' \"$#\" \"$1\" > '" + record + ".part' && mv '" +
                     record + ".part' '" + record + "'\n");
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    void init() { QFile::remove(m_record); }

    void passesThePathAsOneArgument_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("argument");
        const QString marker = m_folder.filePath(QStringLiteral("ran"));
        const QString hostile =
            QStringLiteral("log; touch %1 $(touch %1) `touch %1` | & > 'q'.txt").arg(marker);
        QTest::addRow("plain") << "/var/tmp/log.txt"
                               << "/var/tmp/log.txt";
        QTest::addRow("blanks and shell characters") << hostile << hostile;
        QTest::addRow("leading dash is not an option") << "-log.txt"
                                                       << "./-log.txt";
    }

    void passesThePathAsOneArgument()
    {
        QFETCH(QString, path);
        QFETCH(QString, argument);
        DesktopTextEditor editor(m_opener);
        const Outcome outcome = editor.open(path);
        QVERIFY2(!outcome.failed(), qPrintable(outcome.description()));
        QTRY_VERIFY(QFile::exists(m_record));
        QFile record(m_record);
        QVERIFY(record.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromLocal8Bit(record.readAll()), QStringLiteral("1\n%1\n").arg(argument));
        QVERIFY(!QFile::exists(m_folder.filePath(QStringLiteral("ran"))));
    }

    void missingOpenerFails()
    {
        const QString opener = m_folder.filePath(QStringLiteral("no-such-opener"));
        DesktopTextEditor editor(opener);
        const Outcome outcome = editor.open(QStringLiteral("/var/tmp/log.txt"));
        QVERIFY(outcome.failed());
        QVERIFY2(outcome.description().contains(opener), qPrintable(outcome.description()));
    }
};

QTEST_GUILESS_MAIN(TestDesktopTextEditor)
#include "tst_desktop_text_editor.moc"
