#include "PingPermissionNotice.h"

#include "LogWriter.h"
#include "MessageBoxes.h"

#include <QRegularExpression>
#include <QStringList>

#include <utility>

namespace {

// The path as the shell must be given it: quoted unless every character is safe.
QString ShellWord(const QString &text)
{
    static const QRegularExpression kSafe(QStringLiteral("^[A-Za-z0-9/._+-]+$"));
    if (kSafe.match(text).hasMatch())
        return text;
    QString quoted = text;
    quoted.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + quoted + u'\'';
}

struct NoticeLine
{
    QString text;
    bool command = false;
};

QList<NoticeLine> NoticeLines(const QString &programPath)
{
    return {
        {QStringLiteral("Pings cannot be sent: this user may not open an ICMP socket. Until "
                        "that changes, no outage is seen and no fail command is sent.")},
        {QStringLiteral("Allow the user's group in net.ipv4.ping_group_range:")},
        {QStringLiteral("echo 'net.ipv4.ping_group_range = 0 2147483647' | sudo tee "
                        "/etc/sysctl.d/60-ping.conf"),
         true},
        {QStringLiteral("sudo sysctl --system"), true},
        {QStringLiteral("or give the program the capability for raw sockets:")},
        {QStringLiteral("sudo setcap cap_net_raw+ep ") + ShellWord(programPath), true},
    };
}

} // namespace

PingPermissionNotice::PingPermissionNotice(LogWriter &log, MessageBoxes &boxes, QString programPath)
    : m_log(log), m_boxes(boxes), m_programPath(std::move(programPath))
{
}

void PingPermissionNotice::NoPermission()
{
    if (m_told)
        return;
    m_told = true;
    // The log's lines end in CR LF, the box's in a plain line feed, where a command
    // is marked as one so that it is never broken. The entry comes first: the box may
    // wait a long time for its answer.
    QStringList logLines;
    QStringList boxLines;
    for (const NoticeLine &line : NoticeLines(m_programPath)) {
        logLines << line.text;
        boxLines << (line.command ? QStringLiteral("  ") : QString()) + line.text;
    }
    m_log.WriteLog(logLines.join(QStringLiteral("\r\n")), true, true, kSystemMessage);
    m_boxes.show(boxLines.join(u'\n'), kPingPermissionTitle, BoxStyle::OkExclamation);
}
