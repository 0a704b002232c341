#include "LedgerText.h"

#include "DurationText.h"

#include <QDateTime>
#include <QLocale>
#include <QStringDecoder>

#include <array>
#include <ctime>

namespace {

constexpr char16_t kDelete = 0x7F;
constexpr QStringView kLineBreak = u" | ";

// The figures read the same in any language: the point and the thousands' comma.
QString Figure(qint64 number)
{
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(number);
}

} // namespace

QString DecodedConsole(const QByteArray &bytes)
{
    QStringDecoder decoder("windows-1252");
    return decoder.decode(bytes);
}

QString PrintableConsole(const QByteArray &bytes)
{
    return PrintableText(DecodedConsole(bytes));
}

QString PrintableText(const QString &text)
{
    QString printable;
    printable.reserve(text.size());
    bool lineBroken = false;
    // By code point, so that a character beyond the first plane (in a host name a user
    // typed) stays itself rather than two halves that show nothing.
    for (qsizetype index = 0; index < text.size(); ++index) {
        char32_t code = text[index].unicode();
        if (QChar::isHighSurrogate(code) && index + 1 < text.size() &&
            text[index + 1].isLowSurrogate()) {
            code = QChar::surrogateToUcs4(text[index], text[index + 1]);
            ++index;
        }
        // The line and paragraph separators break lines in some editors and tools too.
        if (code == U'\r' || code == U'\n' || code == 0x2028 || code == 0x2029) {
            // A CR LF pair, and the blank lines between two outputs, are one break.
            lineBroken = true;
            continue;
        }
        if (lineBroken && !printable.isEmpty())
            printable += kLineBreak;
        lineBroken = false;
        if (code == U'\t')
            printable += u' ';
        else if (code < 0x20)
            printable.append(u'^').append(QChar(char16_t(code + 64)));
        else if (code == kDelete)
            printable += u"^?";
        else if (!QChar::isPrint(code))
            printable += u'?';
        else
            printable += QString::fromUcs4(&code, 1);
    }
    return printable.trimmed();
}

RangeFigures FiguresOf(const HistoryRange &range, qint64 nowMs)
{
    RangeFigures figures;
    if (range.cycles > 0)
        figures.availabilityPercent = 100.0 * double(range.answeredCycles) / double(range.cycles);
    figures.outages = range.outages.size();
    for (const OutageEntry &outage : range.outages) {
        const qint64 start = qMax(outage.startMs, range.fromMs);
        const qint64 end = qMin(outage.endMs.value_or(nowMs), range.toMs);
        figures.outageMs += qMax<qint64>(end - start, 0);
    }
    return figures;
}

QString OutagesText(const RangeFigures &figures)
{
    if (figures.outages == 0)
        return QStringLiteral("Outages: none");
    return QStringLiteral("Outages: %1, %2 in total")
        .arg(QLocale().toString(qlonglong(figures.outages)), DurationText(figures.outageMs));
}

QString AvailabilityText(qint64 cycles, qint64 answeredCycles, qint64 notMonitoredMs,
                         qint64 rangeMs)
{
    const QString notMonitored = DurationText(notMonitoredMs);
    if (cycles <= 0) {
        if (notMonitoredMs >= rangeMs && rangeMs > 0)
            return QStringLiteral("Availability unknown: not monitored at all in this range (%1)")
                .arg(notMonitored);
        if (notMonitoredMs > 0)
            return QStringLiteral("Availability unknown: no cycles recorded in this range"
                                  " (%1 not monitored)")
                .arg(notMonitored);
        return QStringLiteral("Availability unknown: no cycles recorded in this range");
    }
    const QString share = AvailabilityPercentText(cycles, answeredCycles);
    const QString counted =
        QStringLiteral("%1 of %2 cycles answered").arg(Figure(answeredCycles), Figure(cycles));
    if (notMonitoredMs <= 0)
        return QStringLiteral("Availability %1 % (%2; monitored throughout)").arg(share, counted);
    return QStringLiteral("Availability %1 % of the monitored time (%2; %3 not monitored)")
        .arg(share, counted, notMonitored);
}

QString AvailabilityPercentText(qint64 cycles, qint64 answeredCycles)
{
    // To three places in whole numbers, which a double would leave at 99.99999... for
    // a share that is exact.
    const qint64 thousandths = answeredCycles * 100'000 / cycles;
    return QStringLiteral("%1.%2")
        .arg(thousandths / 1000)
        .arg(thousandths % 1000, 3, 10, QLatin1Char('0'));
}

QString EndMark(const OutageEntry &outage)
{
    if (outage.endedByStop)
        return QStringLiteral("*");
    if (outage.endedUnwatched)
        return QStringLiteral("+");
    return {};
}

QStringList EndMarkNotes(bool stopMarked, bool unwatchedMarked)
{
    QStringList notes;
    if (stopMarked)
        notes << QStringLiteral("* Corvane was stopped during the outage: it ends at the last"
                                " cycle seen.");
    if (unwatchedMarked)
        notes << QStringLiteral("+ Corvane ended without a stop during the outage (killed, or the"
                                " system went down): it ends at the last cycle recorded.");
    return notes;
}

QString LedgerTimeText(qint64 atMs)
{
    // The C library's conversion rather than Qt's, which reads the time-zone file
    // again for every time: a ledger of 200,000 outages would stat it 400,000 times.
    // glibc reads the zone on first use, and again at each tzset(), which Qt's own
    // conversions elsewhere in a long run keep calling.
    const time_t seconds = time_t(atMs / 1000 - (atMs % 1000 < 0 ? 1 : 0));
    tm local = {};
    std::array<char, 32> text = {};
    if (::localtime_r(&seconds, &local) == nullptr ||
        std::strftime(text.data(), text.size(), "%Y-%m-%d %H:%M:%S", &local) == 0)
        return QDateTime::fromMSecsSinceEpoch(atMs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return QString::fromLatin1(text.data());
}
