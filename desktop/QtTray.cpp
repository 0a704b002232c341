#include "QtTray.h"

#include <QCursor>

QtTray::QtTray()
{
    QObject::connect(&m_icon, &QSystemTrayIcon::activated, &m_icon,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         switch (reason) {
                         case QSystemTrayIcon::Trigger:
                         case QSystemTrayIcon::DoubleClick:
                             if (onActivated)
                                 onActivated();
                             break;
                         case QSystemTrayIcon::Context:
                             if (onContextRequested)
                                 onContextRequested(QCursor::pos());
                             break;
                         case QSystemTrayIcon::MiddleClick:
                         case QSystemTrayIcon::Unknown:
                             break;
                         }
                     });
}

bool QtTray::isAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTray::add(const QIcon &icon, const QString &tip)
{
    m_icon.setIcon(icon);
    m_icon.setToolTip(tip);
    m_icon.show();
}

void QtTray::setTip(const QString &tip)
{
    m_icon.setToolTip(tip);
}

void QtTray::setIcon(const QIcon &icon)
{
    m_icon.setIcon(icon);
}

void QtTray::remove()
{
    m_icon.hide();
}

void QtTray::showMessage(const QString &title, const QString &text)
{
    m_icon.showMessage(title, text, QSystemTrayIcon::Information);
}
