// The README's tables of options and the manual page say of each key what its row in
// the table says, its range and its default, so that neither can drift from what the
// program takes.

#include "OptionTable.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

namespace {

QStringList LinesOf(const char *path)
{
    QFile file(QString::fromUtf8(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n');
}

bool IsRanged(const OptionRow &row)
{
    return std::holds_alternative<qint32 Options::*>(row.member) ||
           std::holds_alternative<double Options::*>(row.member);
}

QString DefaultWords(const OptionRow &row)
{
    return *row.byDefault == '\0' ? QStringLiteral("empty") : QString::fromLatin1(row.byDefault);
}

// The text of the manual page's entry for the key under [Options], its markup taken
// out; empty when there is none. An entry starts at ".TP" with its keys on the next line.
QString ManualEntry(const QStringList &lines, const QString &name)
{
    const qsizetype section = lines.indexOf(QStringLiteral(".SS [Options]"));
    const QRegularExpression markup(QStringLiteral("^\\.(B|BR|RB|I|IR)\\s+"));
    QString entry;
    bool inEntry = false;
    for (qsizetype at = section + 1; section >= 0 && at < lines.size(); ++at) {
        const QString &line = lines[at];
        if (line.startsWith(QStringLiteral(".SH")) || line.startsWith(QStringLiteral(".SS")))
            break;
        if (line == QStringLiteral(".TP")) {
            if (inEntry)
                break;
            const QString keys = at + 1 < lines.size() ? lines[at + 1] : QString();
            inEntry = keys.split(QRegularExpression(QStringLiteral("[\\s\",]+"))).contains(name);
            continue;
        }
        if (inEntry)
            entry += QString(line).remove(markup).remove(u'"') + u' ';
    }
    return entry.simplified();
}

} // namespace

class TestOptionDocuments : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        m_readme = LinesOf(CORVANE_SOURCE_DIR "/README.md");
        m_manual = LinesOf(CORVANE_SOURCE_DIR "/docs/corvane.1");
        QVERIFY(!m_readme.isEmpty() && !m_manual.isEmpty());
    }

    // A key with a range has its line in a table: "| `Key` | default | range | ..." or,
    // among the event programs, "| `Key` | range (default D): ...". Any other key is
    // at least named.
    void readmeTableMatchesEachRow_data() { AddKeyRows(); }
    void readmeTableMatchesEachRow()
    {
        QFETCH(int, index);
        const OptionRow &row = OptionRowOf(OptionKey(index));
        const QString name = QStringLiteral("`%1`").arg(QString::fromLatin1(row.name));
        const QStringList found = m_readme.filter(QRegularExpression(
            QStringLiteral("^\\| %1 \\|").arg(QRegularExpression::escape(name))));
        if (found.isEmpty()) {
            QVERIFY2(!IsRanged(row), "a key with a range has no line in a table");
            // As a key alone or with its value: `Notify=0`.
            QVERIFY(m_readme.join(u'\n').contains(
                QRegularExpression(QStringLiteral("`%1[`=]").arg(QString::fromLatin1(row.name)))));
            return;
        }
        QCOMPARE(found.size(), 1);
        QStringList columns = found[0].split(u'|');
        for (QString &column : columns)
            column = column.trimmed();
        const QString range = OptionRange(row);
        // Split at the bars, a line of four columns gives six pieces.
        if (columns.size() >= 6) {
            const QString byDefault = *row.byDefault == '\0'
                                          ? QStringLiteral("empty")
                                          : QStringLiteral("`%1`").arg(row.byDefault);
            QVERIFY2(columns[2].startsWith(byDefault), qPrintable(columns[2]));
            QVERIFY2(columns[3].startsWith(range), qPrintable(columns[3]));
            return;
        }
        QVERIFY2(columns[2].startsWith(range), qPrintable(columns[2]));
        if (IsRanged(row))
            QVERIFY2(columns[2].contains(QStringLiteral("(default %1)").arg(DefaultWords(row))),
                     qPrintable(columns[2]));
    }

    // Every key has an entry that names its default, and its range where it has one.
    void manualPageMatchesEachRow_data() { AddKeyRows(); }
    void manualPageMatchesEachRow()
    {
        QFETCH(int, index);
        const OptionRow &row = OptionRowOf(OptionKey(index));
        const QString entry = ManualEntry(m_manual, QString::fromLatin1(row.name));
        QVERIFY2(!entry.isEmpty(), "no entry under [Options]");
        QVERIFY2(entry.contains(QStringLiteral("(default %1").arg(DefaultWords(row))),
                 qPrintable(entry));
        if (IsRanged(row))
            QVERIFY2(entry.contains(OptionRange(row)), qPrintable(entry));
    }

private:
    static void AddKeyRows()
    {
        QTest::addColumn<int>("index");
        for (const OptionRow &row : OptionRows())
            QTest::addRow("%s", row.name) << int(row.key);
    }

    QStringList m_readme;
    QStringList m_manual;
};

QTEST_GUILESS_MAIN(TestOptionDocuments)
#include "tst_option_documents.moc"
