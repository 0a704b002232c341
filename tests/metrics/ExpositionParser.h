#pragma once

#include <QByteArray>
#include <QHash>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

// A strict reader of the Prometheus text exposition format, as far as a textfile
// collector relies on it: every family has one HELP and one TYPE line before its
// samples, its samples are together, names and labels are well formed, values are
// numbers, and no series appears twice.
struct ExpositionFamily
{
    QString help;
    QString type;
    // "name{label="value"}" as written, mapped to the value.
    QHash<QString, double> samples;
};

struct Exposition
{
    QHash<QString, ExpositionFamily> families;
    // Empty when the text is well formed; otherwise the first fault and its line.
    QString fault;

    double value(const QString &series) const
    {
        for (const ExpositionFamily &family : families) {
            if (family.samples.contains(series))
                return family.samples.value(series);
        }
        return qQNaN();
    }
};

inline Exposition ParseExposition(const QByteArray &bytes)
{
    static const QRegularExpression kComment(
        QStringLiteral(R"(^# (HELP|TYPE) ([a-zA-Z_:][a-zA-Z0-9_:]*) (.*)$)"));
    static const QRegularExpression kSample(QStringLiteral(
        R"(^([a-zA-Z_:][a-zA-Z0-9_:]*)(\{([a-zA-Z_][a-zA-Z0-9_]*="([^"\\\n]|\\[\\"n])*")(,[a-zA-Z_][a-zA-Z0-9_]*="([^"\\\n]|\\[\\"n])*")*\})? ([^ ]+)$)"));
    static const QStringList kTypes = {QStringLiteral("counter"), QStringLiteral("gauge"),
                                       QStringLiteral("histogram"), QStringLiteral("summary"),
                                       QStringLiteral("untyped")};

    Exposition result;
    const auto fail = [&result](const QString &why, const QString &line) {
        result.fault = why + QStringLiteral(": ") + line;
        return result;
    };
    if (!bytes.endsWith('\n'))
        return fail(QStringLiteral("no line break at the end"), QString());
    QString current;
    QStringList closed;
    const QStringList lines = QString::fromUtf8(bytes).split(u'\n');
    for (const QString &line : lines.first(lines.size() - 1)) {
        if (const QRegularExpressionMatch comment = kComment.match(line); comment.hasMatch()) {
            const QString name = comment.captured(2);
            if (name != current) {
                if (closed.contains(name))
                    return fail(QStringLiteral("family split"), line);
                if (!current.isEmpty())
                    closed << current;
                current = name;
            }
            ExpositionFamily &family = result.families[name];
            if (!family.samples.isEmpty())
                return fail(QStringLiteral("comment after samples"), line);
            QString &field = comment.captured(1) == u"HELP" ? family.help : family.type;
            if (!field.isEmpty())
                return fail(QStringLiteral("repeated comment"), line);
            field = comment.captured(3);
            if (comment.captured(1) == u"TYPE" && !kTypes.contains(field))
                return fail(QStringLiteral("unknown type"), line);
            if (field == u"counter" && !name.endsWith(QStringLiteral("_total")))
                return fail(QStringLiteral("counter without _total"), line);
            continue;
        }
        const QRegularExpressionMatch sample = kSample.match(line);
        if (!sample.hasMatch())
            return fail(QStringLiteral("not a sample"), line);
        if (sample.captured(1) != current)
            return fail(QStringLiteral("sample outside its family"), line);
        ExpositionFamily &family = result.families[current];
        if (family.help.isEmpty() || family.type.isEmpty())
            return fail(QStringLiteral("sample before HELP and TYPE"), line);
        bool number = false;
        const QString valueText = sample.captured(sample.lastCapturedIndex());
        const double value = valueText.toDouble(&number);
        if (!number)
            return fail(QStringLiteral("value not a number"), line);
        const QString series = line.left(line.lastIndexOf(u' '));
        if (family.samples.contains(series))
            return fail(QStringLiteral("series twice"), line);
        family.samples.insert(series, value);
    }
    return result;
}
