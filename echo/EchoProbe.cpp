#include "EchoProbe.h"

#include "EchoFacility.h"
#include "ProbeTarget.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <limits>
#include <optional>

namespace {

// One part of a dotted address: an optional sign and decimal digits whose value is a
// byte, 0 to 255. A fraction cannot occur because every "." already ends a part.
// Blanks inside the text are refused rather than guessed at, and so is a value
// outside 0 to 255: keeping only some of its bits would probe some other host and
// could report a live router while the one meant is down.
std::optional<quint8> AddressPart(QStringView part)
{
    qsizetype position = 0;
    bool negative = false;
    if (position < part.size() && (part[position] == u'+' || part[position] == u'-')) {
        negative = part[position] == u'-';
        ++position;
    }
    if (position == part.size())
        return std::nullopt;

    int value = 0;
    for (; position < part.size(); ++position) {
        const QChar character = part[position];
        if (character < u'0' || character > u'9')
            return std::nullopt;
        value = value * 10 + (character.unicode() - u'0');
        if (value > std::numeric_limits<quint8>::max())
            return std::nullopt;
    }
    // "-0" is still zero; any other negative part is no byte.
    if (negative && value != 0)
        return std::nullopt;
    return quint8(value);
}

struct NamedStatus
{
    quint32 code;
    const char *name;
};

constexpr std::array<NamedStatus, 27> kStatusNames{{
    {0, "ip success"},
    {2000, "ping timeout"},
    {11001, "ip buf too_small"},
    {11002, "ip dest net unreachable"},
    {11003, "ip dest host unreachable"},
    {11004, "ip dest prot unreachable"},
    {11005, "ip dest port unreachable"},
    {11006, "ip no resources"},
    {11007, "ip bad option"},
    {11008, "ip hw_error"},
    {11009, "ip packet too_big"},
    {11010, "ip req timed out"},
    {11011, "ip bad req"},
    {11012, "ip bad route"},
    {11013, "ip ttl expired transit"},
    {11014, "ip ttl expired reassem"},
    {11015, "ip param_problem"},
    {11016, "ip source quench"},
    {11017, "ip option too_big"},
    {11018, "ip bad destination"},
    {11019, "ip addr deleted"},
    {11020, "ip spec mtu change"},
    {11021, "ip mtu_change"},
    {11022, "ip unload"},
    {11023, "ip addr added"},
    {11050, "ip general failure"},
    {11255, "ip pending"},
}};

QString StatusName(qint32 status)
{
    const auto found =
        std::find_if(kStatusNames.begin(), kStatusNames.end(), [status](const NamedStatus &entry) {
            return qint64(entry.code) == qint64(status);
        });
    if (found == kStatusNames.end())
        return QStringLiteral("unknown  msg returned");
    return QString::fromLatin1(found->name);
}

} // namespace

quint32 ParseDottedAddress(const QString &text)
{
    const QList<QStringView> parts = QStringView(text).trimmed().split(u'.');
    if (parts.size() != 4)
        return 0;

    std::array<quint8, 4> bytes{};
    for (qsizetype index = 0; index < parts.size(); ++index) {
        const std::optional<quint8> value = AddressPart(parts[index]);
        if (!value)
            return 0;
        bytes[index] = *value;
    }
    // First part in the lowest byte in memory, whatever the machine's byte order.
    quint32 address = 0;
    std::memcpy(&address, bytes.data(), sizeof address);
    return address;
}

namespace {

// The status a failed lookup leaves in the reply, with what kept it from telling
// about the line.
EchoResult LookupFailure(NameLookup::Outcome outcome)
{
    switch (outcome) {
    case NameLookup::Outcome::TimedOut:
        return {kEchoTimedOut, 0};
    case NameLookup::Outcome::Stopped:
        return {kEchoGeneralFailure, 0, EchoHindrance::Stopped};
    case NameLookup::Outcome::Failed:
        return {kEchoGeneralFailure, 0};
    case NameLookup::Outcome::NotFound:
    case NameLookup::Outcome::Found:
        break;
    }
    return {kEchoBadDestination, 0};
}

// The destination of the target, looking a host name up within the wait, which it
// shortens by the time the lookup took; or the result that ends the probe.
struct Destination
{
    std::optional<IpAddress> address;
    EchoResult failure;
};

Destination Resolve(EchoFacility &facility, const ProbeTarget &target, quint32 &waitMs)
{
    switch (target.kind) {
    case ProbeTarget::Kind::Invalid:
        // Nothing to probe, and nothing to guess at: on Linux 0.0.0.0 reaches the local
        // host, so a mistyped address would always answer and an outage would never
        // be noticed.
        return {std::nullopt, {kEchoBadDestination, 0}};
    case ProbeTarget::Kind::Address:
        return {target.address, {}};
    case ProbeTarget::Kind::HostName:
        break;
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const NameLookup lookup = facility.lookUp(target.hostName, waitMs);
    if (lookup.outcome != NameLookup::Outcome::Found || !lookup.address)
        return {std::nullopt, LookupFailure(lookup.outcome)};
    const auto spentMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    // The whole probe keeps the field's time-out: a lookup that used it up leaves no
    // time for the echo.
    if (spentMs >= qint64(waitMs))
        return {std::nullopt, {kEchoTimedOut, 0}};
    waitMs -= quint32(spentMs);
    return {lookup.address, {}};
}

} // namespace

EchoHindrance PingAddress(EchoFacility &facility, const QString &address, EchoReply &reply,
                          qint32 timeoutMs, QString *resolved)
{
    // A time-out read from a field may be zero or negative; waiting at least one
    // millisecond keeps it from turning into an unsigned wait of weeks.
    quint32 waitMs = quint32(std::max(timeoutMs, 1));
    const ProbeTarget target = ParseProbeTarget(address);
    const Destination destination = Resolve(facility, target, waitMs);
    if (!destination.address) {
        reply.Status = destination.failure.status;
        reply.RoundTripTime = 0;
        return destination.failure.hindrance;
    }
    if (resolved != nullptr && target.kind == ProbeTarget::Kind::HostName)
        *resolved = destination.address->toString();

    const EchoResult result =
        facility.echo(*destination.address, QByteArrayLiteral("Echo This"), waitMs);
    reply.Status = result.status;
    reply.RoundTripTime = result.status == kEchoSuccess ? result.roundTripMs : 0;
    return result.hindrance;
}

QString EchoStatusText(qint32 status)
{
    return QString::number(status) + QStringLiteral("   [ ") + StatusName(status) +
           QStringLiteral(" ]");
}
