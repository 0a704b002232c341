#include "HeadlessFallback.h"

#include <QGuiApplication>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <mutex>

namespace {

const QByteArray kHeadlessPlatform = QByteArrayLiteral("offscreen");

struct HeldMessage
{
    QtMsgType type;
    QByteArray category;
    QString text;
};

// The message handler is a plain function, so what it holds back lives here. The
// platform may already run threads of its own that report while it starts.
std::mutex g_heldMutex;
QList<HeldMessage> g_heldMessages;
QtMessageHandler g_passOn = nullptr;

void HoldMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    // A fatal message ends the program right after the handler: it goes out now.
    if (type == QtFatalMsg) {
        g_passOn(type, context, text);
        return;
    }
    const std::lock_guard lock(g_heldMutex);
    g_heldMessages.append({type, QByteArray(context.category), text});
}

bool NamesADisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// What Qt 6.4 tries when nothing is asked of it: X11, preceded by Wayland in a
// Wayland session other than GNOME's (there Qt keeps to X11).
QByteArray SessionPlatforms()
{
    const bool gnome = qgetenv("XDG_CURRENT_DESKTOP").toLower().contains("gnome") ||
                       qgetenv("XDG_SESSION_DESKTOP").toLower().contains("gnome");
    if (qgetenv("XDG_SESSION_TYPE") == "wayland" && !gnome)
        return QByteArrayLiteral("wayland;xcb");
    return QByteArrayLiteral("xcb");
}

QString DisplayNames()
{
    QStringList names;
    for (const char *variable : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        if (!qEnvironmentVariableIsEmpty(variable))
            names << QString::fromLatin1(variable) + u'=' + qEnvironmentVariable(variable);
    }
    return names.join(QStringLiteral(" or "));
}

} // namespace

HeadlessFallback::HeadlessFallback(bool headlessAsked)
{
    if (headlessAsked || !NamesADisplay()) {
        // Nothing to fall back from: the program is headless from the start.
        qputenv("QT_QPA_PLATFORM", kHeadlessPlatform);
        return;
    }
    QByteArray platforms = qgetenv("QT_QPA_PLATFORM");
    if (platforms.isEmpty())
        platforms = SessionPlatforms();
    // A platform may carry arguments after a colon.
    m_firstPlatform = platforms.split(';').constFirst().split(':').constFirst().toLower();
    qputenv("QT_QPA_PLATFORM", platforms + ';' + kHeadlessPlatform);

    m_previousHandler = qInstallMessageHandler(HoldMessage);
    g_passOn = m_previousHandler;
    m_holding = true;
}

HeadlessFallback::~HeadlessFallback()
{
    if (m_holding)
        qInstallMessageHandler(m_previousHandler);
}

bool HeadlessFallback::runsHeadless()
{
    const QByteArray platform = QGuiApplication::platformName().toLatin1();
    const bool headless = platform == kHeadlessPlatform || platform == "minimal";
    if (!m_holding)
        return headless;
    qInstallMessageHandler(m_previousHandler);
    m_holding = false;
    const std::lock_guard lock(g_heldMutex);

    // Asked for first, a headless platform is no fallback and needs no explaining.
    const bool fellBack = headless && platform != m_firstPlatform;
    if (fellBack) {
        const QString line = QStringLiteral("No display server answers at %1; running headless.\n")
                                 .arg(DisplayNames());
        std::fputs(line.toLocal8Bit().constData(), stderr);
        std::fflush(stderr);
    }
    for (const HeldMessage &message : std::as_const(g_heldMessages)) {
        // Qt's own account of the platforms it could not start says the same.
        if (fellBack && message.category.startsWith("qt.qpa."))
            continue;
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.constData());
        m_previousHandler(message.type, context, message.text);
    }
    g_heldMessages.clear();
    return headless;
}
