#include "TrayWindow.h"

#include "LocaleText.h"
#include "MainWindow.h"
#include "ShowInFront.h"
#include "Tray.h"

#include <QAction>
#include <QEvent>
#include <QMenu>

namespace {

// Longer tips are cut by some notification areas; this length is safe everywhere.
constexpr int kLongestTip = 63;
// Without it, a watch that cannot send echoes would show "0%" as a healthy line does.
const QString kBlindTip = QStringLiteral("Corvane (pings cannot be sent)");

} // namespace

TrayWindow::TrayWindow(MainWindow &window, Tray &tray) : m_window(window), m_tray(tray)
{
    m_tray.onActivated = [this] { RestoreWindow(); };
    m_tray.onContextRequested = [this](const QPoint &position) { OpenPopupMenu(position); };
    connect(&m_window.RestoreItem(), &QAction::triggered, this, &TrayWindow::RestoreWindow);
    m_window.installEventFilter(this);
}

// The tray may outlive the window's handling of it; its clicks must then go nowhere.
TrayWindow::~TrayWindow()
{
    m_tray.onActivated = nullptr;
    m_tray.onContextRequested = nullptr;
}

void TrayWindow::StartInTray()
{
    AddTrayIcon();
    // A window shown and minimised at once leaves the window manager answering both
    // later, and its late answers could take the minimised state away from the hidden
    // window or minimise it again after the user's first click brought it back. A
    // window never shown has nothing to answer for.
    if (!m_tray.isAvailable())
        m_window.show();
    MinimizeWindow();
}

void TrayWindow::AddTrayIcon()
{
    const double percentage = 100.0 * m_window.value() / m_window.maximum();
    m_tip = QStringLiteral("Corvane (") + GeneralNumberText(percentage) + QStringLiteral("%)");
    m_tray.add(BadgedIcon(m_window.windowIcon(), m_badge),
               (m_blind ? kBlindTip : m_tip).left(kLongestTip));
    m_iconShown = true;
}

void TrayWindow::UpdateTrayTip(const QString &text)
{
    m_tip = text;
    ShowTip();
}

void TrayWindow::watchBlind(bool blind)
{
    m_blind = blind;
    ShowTip();
}

void TrayWindow::ShowTip()
{
    m_tray.setTip((m_blind ? kBlindTip : m_tip).left(kLongestTip));
}

void TrayWindow::ShowBadge(BadgeState state)
{
    m_badge = state;
    if (m_iconShown)
        m_tray.setIcon(BadgedIcon(m_window.windowIcon(), state));
}

void TrayWindow::RemoveTrayIcon()
{
    m_tray.remove();
    m_iconShown = false;
}

void TrayWindow::RestoreWindow()
{
    ShowInFront(m_window);
}

void TrayWindow::MinimizeWindow()
{
    m_window.setWindowState(m_window.windowState() | Qt::WindowMinimized);
}

void TrayWindow::OpenPopupMenu(const QPoint &position)
{
    // The menu belongs to the tucked-away window only. Hidden counts as tucked away
    // whatever the state says, since a desktop may drop the minimised state of a
    // window it no longer shows. The menu also opens over an open message box: a
    // warning runs no event loop of its own, and under the close question the menu's
    // Exit finds the window already closing and does nothing.
    if (m_window.isVisible() && !m_window.isMinimized())
        return;
    m_window.PopupMenu().popup(position);
}

bool TrayWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Without a notification area a hidden window could never be brought back, so
    // it then minimises as any other window does.
    if (watched == &m_window && event->type() == QEvent::WindowStateChange &&
        m_window.isMinimized() && m_iconShown && m_tray.isAvailable())
        m_window.hide();
    return false;
}
