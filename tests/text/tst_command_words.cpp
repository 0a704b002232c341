#include "CommandWords.h"

#include <QtTest>

class TestCommandWords : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void splits_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<bool>("refused");
        const QStringList none;
        QTest::addRow("blanks") << QStringLiteral("  logger\t-t  corvane ")
                                << QStringList{"logger", "-t", "corvane"} << false;
        QTest::addRow("single quotes keep all") << QStringLiteral("echo 'a \"b\" $c \\d'")
                                                << QStringList{"echo", "a \"b\" $c \\d"} << false;
        QTest::addRow("double quotes and escapes")
            << QStringLiteral("echo \"a \\\"b\\\" \\$ \\x\" c\\ d ''")
            << QStringList{"echo", "a \"b\" $ \\x", "c d", ""} << false;
        QTest::addRow("pipe") << QStringLiteral("echo a | mail root") << none << true;
        QTest::addRow("variable in double quotes")
            << QStringLiteral("echo \"$HOME\"") << none << true;
        QTest::addRow("quote left open") << QStringLiteral("echo 'a") << none << true;
        QTest::addRow("trailing backslash") << QStringLiteral("echo a\\") << none << true;
        // Each character a shell would act on, unquoted, is refused; quoted, it is text.
        for (const char16_t special : u"|&;<>()$`*?[#~") {
            if (special == 0)
                break;
            const QString character(QChar{special});
            QTest::addRow("unquoted %s", qPrintable(character))
                << QStringLiteral("echo a%1b").arg(character) << none << true;
            QTest::addRow("quoted %s", qPrintable(character))
                << QStringLiteral("echo 'a%1b'").arg(character)
                << QStringList{"echo", QStringLiteral("a%1b").arg(character)} << false;
        }
    }
    void splits()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, words);
        QFETCH(bool, refused);
        const CommandWords split = SplitCommandWords(text);
        QCOMPARE(split.words, words);
        QCOMPARE(!split.refusal.isEmpty(), refused);
    }
};

QTEST_APPLESS_MAIN(TestCommandWords)
#include "tst_command_words.moc"
