#pragma once

#include <QByteArray>
#include <QString>

inline const QString kSystemMessage = QStringLiteral("System Message");
inline const QString kCommunications = QStringLiteral("Communications");

// Appends one entry to the event log. Never fails towards its caller: a failure is
// reported to the user by the log itself.
class LogWriter
{
public:
    virtual ~LogWriter() = default;
    virtual void WriteLog(const QString &message, bool stamp, bool spaced,
                          const QString &category) = 0;
    // What the router sent, byte for byte as it came, under a "Communications"
    // header when stamp is set; unspaced.
    virtual void WriteReceived(const QByteArray &bytes, bool stamp) = 0;
};
