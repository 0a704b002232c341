#pragma once

#include "TrayTip.h"

#include <QString>

struct CycleReport;

// The tray tip, and below the watch's own text a line for each address field whose
// text led to another address in the last cycle (a host name), such as
// "gateway.example: 192.0.2.1". Where the fields hold addresses, the tip is the
// watch's text alone, as it always was.
class ProbedAddressTip final : public TrayTip
{
public:
    explicit ProbedAddressTip(TrayTip &tray) : m_tray(tray) {}

    void UpdateTrayTip(const QString &text) override;
    // Takes the probes of a cycle; the tip changes only when its lines do.
    void ShowProbed(const CycleReport &report);

private:
    TrayTip &m_tray;
    // What start-up shows, until the watch first sets its own.
    QString m_text = QStringLiteral("Corvane (0%)");
    QString m_lines;
};
