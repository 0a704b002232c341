#pragma once

#include <QString>

class LogWriter;
class MessageBoxes;

inline const QString kPingPermissionTitle = QStringLiteral("Ping Permission");

// Tells the user that this user may open no ICMP socket, and how to allow it: one
// log entry and one warning box per run of cycles that could send no echo. Without
// it such a run would pass for a healthy line, since it can neither fail nor act.
class PingPermissionNotice
{
public:
    // programPath goes into the capability command of the text.
    PingPermissionNotice(LogWriter &log, MessageBoxes &boxes, QString programPath);

    // No echo could be sent for lack of permission (a cycle, or the test at start-up).
    void NoPermission();
    // Echoes went out again: the next cycle without permission starts a new run.
    void EchoesSent() { m_told = false; }

private:
    LogWriter &m_log;
    MessageBoxes &m_boxes;
    QString m_programPath;
    bool m_told = false;
};
