#include "SettingsCheck.h"

#include "EchoFacility.h"

#include "CaretLine.h"
#include "MessageBoxes.h"
#include "OptionTable.h"
#include "Options.h"
#include "PinnedPath.h"
#include "PortDevice.h"
#include "ProbeTarget.h"
#include "ProgramLookup.h"
#include "Settings.h"
#include "StartUpReading.h"
#include "WholeNumber.h"
#include "WindowFields.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace {

// A host name is looked up once, as the first cycle would.
constexpr quint32 kLookupTimeoutMs = 5000;

// The check writes nothing, so the settings store has no failed write to show; a box
// that comes all the same is said in a line.
class CollectedBoxes final : public MessageBoxes
{
public:
    BoxAnswer show(const QString &text, const QString &, BoxStyle) override
    {
        texts << text;
        return BoxAnswer::Ok;
    }
    QStringList texts;
};

class Report
{
public:
    explicit Report(QTextStream &out) : m_out(out) {}
    // A line of the start-up report, which refuses what it names: "Key=value: why".
    void line(const QString &line)
    {
        m_refused = true;
        write(line);
    }
    void item(const QString &what, const std::optional<QString> &refusal,
              const QString &okNote = {})
    {
        if (refusal)
            m_refused = true;
        write(what + QStringLiteral(": ") +
              (refusal ? *refusal
                       : (okNote.isEmpty() ? QStringLiteral("ok")
                                           : QStringLiteral("ok (%1)").arg(okNote))));
    }
    int status() const { return m_refused ? 1 : 0; }

private:
    // One line per item whatever the settings file holds: a line end in a stored value
    // would split an item, an escape would steer the terminal.
    void write(const QString &line) { m_out << CaretLine(line) << '\n'; }

    QTextStream &m_out;
    bool m_refused = false;
};

QString SystemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Whether the file may be appended to or made, as the watch will; its folder is made
// when missing, as the watch makes the default log's.
std::optional<QString> WriteRefusal(const QString &path)
{
    const QFileInfo file(path);
    if (file.exists()) {
        if (!file.isFile())
            return QStringLiteral("%1 is not a regular file").arg(path);
        if (::access(QFile::encodeName(path).constData(), W_OK) != 0)
            return QStringLiteral("%1 cannot be written: %2").arg(path, SystemError());
        return std::nullopt;
    }
    QString folder = file.absolutePath();
    while (!QFileInfo::exists(folder))
        folder = QFileInfo(folder).absolutePath();
    if (!QFileInfo(folder).isDir() ||
        ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
        return QStringLiteral("%1 cannot be made in %2").arg(path, folder);
    return std::nullopt;
}

// Whether the file may be replaced whole, as the watch replaces the metrics file after
// every cycle: a new file is written beside the one a symbolic link names, and renamed
// over it. So its folder must be there and take new files, and nothing makes a
// missing folder.
std::optional<QString> ReplaceRefusal(const QString &path)
{
    QFileInfo file(path);
    for (int depth = 0; depth < 128 && file.isSymLink(); ++depth)
        file.setFile(file.symLinkTarget());
    const QString folder = file.absolutePath();
    if (!QFileInfo(folder).isDir())
        return QStringLiteral("%1 cannot be made: the folder %2 does not exist").arg(path, folder);
    if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
        return QStringLiteral("%1 cannot be made in %2: %3").arg(path, folder, SystemError());
    if (file.exists() && ::access(QFile::encodeName(file.filePath()).constData(), W_OK) != 0)
        return QStringLiteral("%1 cannot be written: %2").arg(path, SystemError());
    return std::nullopt;
}

void CheckAddress(Report &report, const QString &which, const QString &text, EchoFacility &echo)
{
    const QString what = QStringLiteral("%1 address \"%2\"").arg(which, text);
    const ProbeTarget target = ParseProbeTarget(text);
    switch (target.kind) {
    case ProbeTarget::Kind::Invalid:
        report.item(what, QStringLiteral("not an IPv4 or IPv6 address or a host name"));
        return;
    case ProbeTarget::Kind::Address:
        report.item(what, std::nullopt,
                    target.address.isV6() ? QStringLiteral("IPv6") : QStringLiteral("IPv4"));
        return;
    case ProbeTarget::Kind::HostName:
        break;
    }
    const NameLookup lookup = echo.lookUp(target.hostName, kLookupTimeoutMs);
    if (lookup.outcome == NameLookup::Outcome::Found && lookup.address)
        report.item(what, std::nullopt,
                    QStringLiteral("host name, now %1").arg(lookup.address->toString()));
    else
        report.item(what, QStringLiteral("a host name that cannot be looked up now"));
}

void CheckEchoPermission(Report &report, EchoFacility &echo, bool serviceMayUseRawSockets)
{
    if (echo.maySendEchoes()) {
        report.item(QStringLiteral("Echo permission"), std::nullopt);
        return;
    }
    if (serviceMayUseRawSockets) {
        report.item(QStringLiteral("Echo permission"), std::nullopt,
                    QStringLiteral("the service has CAP_NET_RAW"));
        return;
    }
    QFile range(QStringLiteral("/proc/sys/net/ipv4/ping_group_range"));
    const QString groups = range.open(QIODevice::ReadOnly)
                               ? QString::fromLatin1(range.readAll()).simplified()
                               : QStringLiteral("unknown");
    report.item(QStringLiteral("Echo permission"),
                QStringLiteral("none: group %1 is outside net.ipv4.ping_group_range (%2), and "
                               "the program lacks CAP_NET_RAW")
                    .arg(::getegid())
                    .arg(groups));
}

// The port by the rule start-up reports by, then its device as the link would open it.
void CheckPort(Report &report, SettingsStore &store, const QString &portText)
{
    const QString what = QStringLiteral("Port %1").arg(portText);
    if (const std::optional<QString> refusal = PortRefusal(store, portText)) {
        report.item(what, refusal);
        return;
    }
    const QString device = PortDevicePath(store, *WholeNumber16(portText));
    // Opened and closed at once: nothing is sent, and no line is raised or dropped
    // for longer than the open takes.
    const int descriptor =
        ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        report.item(what, QStringLiteral("%1 cannot be opened: %2").arg(device, SystemError()));
        return;
    }
    ::close(descriptor);
    report.item(what, std::nullopt, device);
}

// Each key as start-up reads it, so that what is said ok here is what the watch runs
// with; a program is looked for as it would be before it runs.
void CheckOptions(Report &report, Settings &settings, const QString &settingsFile, Options &options)
{
    // The way echoes are pinned to is judged whole, as the watch binds its sockets.
    Options pinned;
    for (const OptionKey key : {OptionKey::Interface, OptionKey::SourceAddress})
        ReadStoredOption(settings, key, pinned);
    for (const OptionRow &row : OptionRows()) {
        const QString name = QString::fromLatin1(row.name);
        const StoredOption stored = ReadStoredOption(settings, row.key, options);
        if (!stored.text) {
            report.item(QStringLiteral("[Options] %1=%2").arg(name, OptionText(options, row.key)),
                        std::nullopt, QStringLiteral("default"));
            continue;
        }
        // A refused value reads as start-up tells it, with what runs in its place.
        if (stored.refusal) {
            report.line(QStringLiteral("[Options] ") +
                        RefusedOptionLine(row, *stored.text, *stored.refusal));
            continue;
        }
        const QString what = QStringLiteral("[Options] %1=%2").arg(name, *stored.text);
        if (!IsEventProgram(row.key) || stored.text->trimmed().isEmpty()) {
            report.item(what, UnpinnedRefusal(pinned, row.key));
            continue;
        }
        const ProgramToRun found = FindProgram(*stored.text, settingsFile);
        if (found.refusal.isEmpty())
            report.item(what, std::nullopt, found.program);
        else
            report.item(what, found.refusal);
    }
    for (const QString &line : UnknownOptionLines(settings))
        report.line(QStringLiteral("[Options] ") + line);
}

// A FIFO would hold a plain open or read forever: the store opens the file without
// blocking and reads nothing but a regular file, the one a symbolic link names.
void CheckSettingsFile(Report &report, SettingsStore &store, const QString &path)
{
    // One that cannot be read is told by the start-up report's own line, among the
    // stored values.
    if (store.readable(SettingsAppName).failed())
        return;
    report.item(QStringLiteral("Settings file %1").arg(path), std::nullopt,
                QFileInfo::exists(path) ? QString()
                                        : QStringLiteral("none yet: every value is its default"));
}

} // namespace

int CheckSettings(const SettingsCheckInput &input, QTextStream &out)
{
    Report report(out);
    CollectedBoxes boxes;
    ReadOnlyStore store(input.store);
    Settings settings(store, boxes);

    CheckSettingsFile(report, store, input.settingsFile);
    const QString skipped = settings.SkippedLinesReport();
    report.item(QStringLiteral("Lines that are not settings"),
                skipped.isEmpty() ? std::nullopt : std::optional<QString>(skipped.simplified()),
                QStringLiteral("none"));

    // What the watch runs with is what start-up makes of the record, by start-up's own
    // code; a value it does not take is judged as what runs in its place.
    const StartUpReading started = ReadAsTheWatchStarts(settings, input.defaultLogPath);
    for (const QString &line : started.refusedValues)
        report.line(line);
    if (started.refusedValues.isEmpty())
        report.item(QStringLiteral("Stored values"), std::nullopt);

    const WindowFields &fields = started.fields;
    for (const auto &[field, which] :
         {std::pair{Field::AddrPri, "Primary"}, std::pair{Field::AddrSec, "Secondary"}}) {
        CheckAddress(report, QString::fromLatin1(which), fields.text(field).trimmed(), input.echo);
    }
    CheckEchoPermission(report, input.echo, input.serviceMayUseRawSockets);
    CheckPort(report, store, fields.text(Field::FailPort));

    const QString logPath = fields.text(Field::FailLog);
    report.item(QStringLiteral("Log %1").arg(logPath), WriteRefusal(logPath));
    report.item(QStringLiteral("History %1").arg(input.historyPath),
                WriteRefusal(input.historyPath));

    Options options;
    CheckOptions(report, settings, input.settingsFile, options);
    if (!options.metricsFile.isEmpty())
        report.item(QStringLiteral("Metrics file %1").arg(options.metricsFile),
                    ReplaceRefusal(options.metricsFile));

    for (const QString &text : boxes.texts)
        report.item(QStringLiteral("Settings store"), text.simplified());
    return report.status();
}
