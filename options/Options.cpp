#include "Options.h"

#include "CaretLine.h"
#include "OptionTable.h"
#include "Settings.h"
#include "StoredValuesCheck.h"
#include "UnknownKeys.h"
#include "WholeNumber.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

template <class... Visitors> struct Overloaded : Visitors...
{
    using Visitors::operator()...;
};
// Clang before 17 does not deduce an aggregate's arguments by itself.
template <class... Visitors> Overloaded(Visitors...) -> Overloaded<Visitors...>;

// A file edited by hand holds a point; the window may have been typed with the
// locale's separator.
std::optional<double> Factor(const QString &text)
{
    bool converted = false;
    double value = QLocale::c().toDouble(text.trimmed(), &converted);
    if (!converted)
        value = QLocale().toDouble(text.trimmed(), &converted);
    if (!converted || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// A switch is stored as a whole number, as the settings of the main window are, so
// "1.0" is on as "1" is.
bool IsSwitch(const QString &text)
{
    const std::optional<qint32> value = WholeNumber32(text);
    return value && (*value == 0 || *value == 1);
}

} // namespace

Options::Options()
{
    for (const OptionRow &row : OptionRows())
        SetOption(*this, row.key, QString::fromLatin1(row.byDefault));
}

bool IsEventProgram(OptionKey key)
{
    return std::find(std::begin(kEventProgramKeys), std::end(kEventProgramKeys), key) !=
           std::end(kEventProgramKeys);
}

QString OptionKeyName(OptionKey key)
{
    return QString::fromLatin1(OptionRowOf(key).name);
}

QString OptionText(const Options &options, OptionKey key)
{
    return std::visit(Overloaded{
                          [&](qint32 Options::*member) { return QString::number(options.*member); },
                          [&](double Options::*member) { return QString::number(options.*member); },
                          [&](bool Options::*member) {
                              return options.*member ? QStringLiteral("1") : QStringLiteral("0");
                          },
                          [&](QString Options::*member) { return options.*member; },
                      },
                      OptionRowOf(key).member);
}

std::optional<QString> OptionRefusal(OptionKey key, const QString &text)
{
    const OptionRow &row = OptionRowOf(key);
    using Refusal = std::optional<QString>;
    const auto inRange = [&row](auto value) {
        return value && *value >= row.lowest && *value <= row.highest;
    };
    return std::visit(
        Overloaded{
            [&](qint32 Options::*) -> Refusal {
                return inRange(WholeNumber32(text)) ? std::nullopt
                                                    : Refusal(OptionRangeRefusal(row));
            },
            [&](double Options::*) -> Refusal {
                return inRange(Factor(text)) ? std::nullopt : Refusal(OptionRangeRefusal(row));
            },
            [&](bool Options::*) -> Refusal {
                return IsSwitch(text) ? std::nullopt
                                      : Refusal(QStringLiteral("0 (off) or 1 (on) is required."));
            },
            [&](QString Options::*) -> Refusal {
                return row.textCheck ? row.textCheck(text) : std::nullopt;
            },
        },
        row.member);
}

void SetOption(Options &options, OptionKey key, const QString &text)
{
    std::visit(Overloaded{
                   [&](qint32 Options::*member) { options.*member = *WholeNumber32(text); },
                   [&](double Options::*member) { options.*member = *Factor(text); },
                   [&](bool Options::*member) { options.*member = *WholeNumber32(text) != 0; },
                   [&](QString Options::*member) { options.*member = text; },
               },
               OptionRowOf(key).member);
}

QString OptionDefaultInUse(OptionKey key)
{
    const OptionRow &row = OptionRowOf(key);
    if (*row.byDefault == '\0')
        return QString::fromUtf8(row.fallback);
    return QStringLiteral("Corvane uses %1.").arg(QString::fromLatin1(row.byDefault));
}

QString RefusedOptionLine(const OptionRow &row, const QString &text, const QString &refusal)
{
    // A refused text is anything a file held: on one line, so that it cannot steer the
    // terminal or the log it is shown on.
    return QString::fromLatin1(row.name) + u'=' + CaretLine(text) + QStringLiteral(": ") + refusal +
           u' ' + OptionDefaultInUse(row.key);
}

StoredOption ReadStoredOption(Settings &settings, OptionKey key, Options &options)
{
    const QString name = OptionKeyName(key);
    if (!settings.HasValue(OptionsSection, name))
        return {};
    StoredOption stored{settings.GetValue(OptionsSection, name), std::nullopt};
    stored.refusal = OptionRefusal(key, *stored.text);
    if (!stored.refusal)
        SetOption(options, key, *stored.text);
    return stored;
}

QStringList UnknownOptionLines(Settings &settings)
{
    QStringList names;
    for (const OptionRow &row : OptionRows())
        names.append(QString::fromLatin1(row.name));
    return UnknownKeyLines(settings, OptionsSection, names);
}

Options LoadOptions(Settings &settings, LogWriter &log, MessageBoxes &boxes)
{
    Options options;
    QStringList refused;
    for (const OptionRow &row : OptionRows()) {
        const StoredOption stored = ReadStoredOption(settings, row.key, options);
        if (stored.refusal)
            refused.append(RefusedOptionLine(row, *stored.text, *stored.refusal));
    }
    // Told rather than fallen back on silently: a limit that never holds looks like a
    // working setting until the night it was meant for.
    ReportRefusedLines(
        refused + UnknownOptionLines(settings),
        QStringLiteral("Some stored options are not valid; Corvane runs with their defaults:"), log,
        boxes);
    return options;
}
