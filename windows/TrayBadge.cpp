#include "TrayBadge.h"

#include <QPainter>
#include <QPixmap>

#include <utility>

namespace {

// The size the icon is drawn at (WindowIcon), so that the dot stays crisp.
constexpr int kIconSize = 32;
constexpr int kDotSize = 15;

QColor DotColour(BadgeState state)
{
    switch (state) {
    case BadgeState::Failing:
        return {0xff, 0xb0, 0x00};
    case BadgeState::Acted:
        return {0xe0, 0x00, 0x00};
    case BadgeState::Paused:
        return {0x90, 0x90, 0x90};
    case BadgeState::Blind:
        return {0x80, 0x40, 0xff};
    case BadgeState::None:
        break;
    }
    return {};
}

} // namespace

QIcon BadgedIcon(const QIcon &icon, BadgeState state)
{
    if (state == BadgeState::None)
        return icon;
    QPixmap image = icon.pixmap(kIconSize, kIconSize);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // A dark rim keeps the dot apart from the picture under it, on light and dark
    // panels alike.
    painter.setPen(QPen(Qt::black, 1.5));
    painter.setBrush(DotColour(state));
    const qreal start = kIconSize - kDotSize - 0.25;
    painter.drawEllipse(QRectF(start, start, kDotSize - 0.5, kDotSize - 0.5));
    painter.end();
    return QIcon(image);
}

TrayBadge::TrayBadge(std::function<void(BadgeState)> onChanged) : m_onChanged(std::move(onChanged))
{
}

void TrayBadge::setEnabled(bool enabled)
{
    m_enabled = enabled;
    Tell();
}

void TrayBadge::setPaused(bool paused)
{
    m_paused = paused;
    Tell();
}

BadgeState TrayBadge::state() const
{
    if (!m_enabled)
        return BadgeState::None;
    // A watch that sees nothing cannot say the line is well, nor that a pause matters.
    if (m_blind)
        return BadgeState::Blind;
    return m_paused ? BadgeState::Paused : m_line;
}

void TrayBadge::cycleDone(const CycleReport &report)
{
    // Further failing cycles of an outage that has acted stay red until an answer.
    if (report.answered)
        m_line = BadgeState::None;
    else if (m_line != BadgeState::Acted)
        m_line = BadgeState::Failing;
    Tell();
}

void TrayBadge::commandSent(CommandKind kind, const QString &)
{
    // FAIL TEST and scheduled commands say nothing about the line.
    if (kind != CommandKind::Fail)
        return;
    m_line = BadgeState::Acted;
    Tell();
}

void TrayBadge::watchBlind(bool blind)
{
    m_blind = blind;
    Tell();
}

void TrayBadge::Tell()
{
    const BadgeState now = state();
    if (now == m_told)
        return;
    m_told = now;
    if (m_onChanged)
        m_onChanged(now);
}
