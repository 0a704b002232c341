#include "FakeTray.h"
#include "MainWindow.h"
#include "QtMessageBoxes.h"
#include "TrayBadge.h"
#include "TrayWindow.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QWindow>
#include <QtTest>

#include <memory>

// The window's life beside the tray icon, through a fake notification area.
class TestTrayWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_tray = FakeTray();
        m_window = std::make_unique<MainWindow>(QStringLiteral("/tmp/log.txt"));
        m_trayWindow = std::make_unique<TrayWindow>(*m_window, m_tray);
    }

    void cleanup()
    {
        m_trayWindow.reset();
        QVERIFY(!m_tray.onActivated && !m_tray.onContextRequested);
        m_window.reset();
    }

    // The first tip shows the meter's level as a percentage; later ones are cut to what
    // every notification area shows.
    void tipShowsTheFailureLevel()
    {
        QVERIFY(m_window->setMaximum(3));
        m_window->setValue(1);
        m_trayWindow->AddTrayIcon();
        QVERIFY(m_tray.shown);
        QCOMPARE(m_tray.tip, QStringLiteral("Corvane (33.3333333333333%)"));
        QCOMPARE(m_tray.icon.cacheKey(), m_window->windowIcon().cacheKey());

        m_trayWindow->UpdateTrayTip(QString(80, u'x'));
        QCOMPARE(m_tray.tip, QString(63, u'x'));
        m_trayWindow->RemoveTrayIcon();
        QVERIFY(!m_tray.shown);
    }

    void minimisingTucksTheWindowAway_data()
    {
        QTest::addColumn<bool>("fromMenu");
        QTest::addRow("left click restores") << false;
        QTest::addRow("restore item restores") << true;
    }

    void minimisingTucksTheWindowAway()
    {
        QFETCH(bool, fromMenu);

        showAndMinimise();
        QVERIFY(m_window->isMinimized());
        QVERIFY(!m_window->isVisible());
        if (fromMenu)
            m_window->RestoreItem().trigger();
        else
            m_tray.onActivated();
        QVERIFY(m_window->isVisible());
        QVERIFY(!m_window->isMinimized());

        // Again while shown: it only comes to the front.
        m_tray.onActivated();
        QVERIFY(m_window->isVisible());
        QVERIFY(!m_window->isMinimized());

        // The title bar's minimise button: the change comes from the platform.
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_window->windowHandle()->setWindowState(Qt::WindowMinimized);
        QTRY_VERIFY(!m_window->isVisible());
        QVERIFY(m_window->isMinimized());
    }

    void rightClickOpensTheMenuOnlyWhileMinimised()
    {
        showWithIcon();
        m_tray.onContextRequested(QPoint(40, 30));
        QVERIFY(!menu().isVisible());

        m_trayWindow->MinimizeWindow();
        m_tray.onContextRequested(QPoint(40, 30));
        QVERIFY(menu().isVisible());
        QCOMPARE(menu().pos(), QPoint(40, 30));
        QStringList items;
        for (QAction *action : menu().actions())
            items << action->text();
        QCOMPARE(items, (QStringList{"&Restore", "&View Log", "E&xit"}));
        menu().close();
    }

    // A warning nobody has answered yet keeps the user out of the window, not out
    // of its tray menu: the menu's Restore still brings the window back, with the
    // warning in front of it.
    void menuStillWorksUnderAnOpenWarning()
    {
        QtMessageBoxes boxes;
        boxes.setWindow(m_window.get());
        showAndMinimise();
        boxes.show(QStringLiteral("text"), QStringLiteral("Comm Port Error"),
                   BoxStyle::OkExclamation);
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);

        m_tray.onContextRequested(QPoint(10, 10));
        QVERIFY(menu().isVisible());
        QTest::mouseClick(&menu(), Qt::LeftButton, {},
                          menu().actionGeometry(&m_window->RestoreItem()).center());
        QTRY_VERIFY(m_window->isVisible());
        QVERIFY(!m_window->isMinimized());
        QVERIFY(box->isVisible());
    }

    // Without a notification area, or once the icon is gone, there would be no way
    // back to a hidden window.
    void withoutAnIconTheWindowMinimisesNormally_data()
    {
        QTest::addColumn<bool>("trayAvailable");
        QTest::addRow("no notification area") << false;
        QTest::addRow("icon removed") << true;
    }

    void withoutAnIconTheWindowMinimisesNormally()
    {
        QFETCH(bool, trayAvailable);

        m_tray.available = trayAvailable;
        showWithIcon();
        if (trayAvailable)
            m_trayWindow->RemoveTrayIcon();
        m_trayWindow->MinimizeWindow();
        QVERIFY(m_window->isMinimized());
        QVERIFY(m_window->isVisible());
    }

    // The corner of the tray icon follows the line and the pause; the tip and the
    // window's own icon never change with it.
    void badgeShowsTheState_data()
    {
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QColor>("corner");

        const QColor none; // the window's icon, unbadged
        const QColor amber(0xff, 0xb0, 0x00);
        const QColor red(0xe0, 0x00, 0x00);
        const QColor grey(0x90, 0x90, 0x90);
        QTest::addRow("all well") << QStringList{"answer"} << none;
        QTest::addRow("failing below the retries") << QStringList{"fail", "fail"} << amber;
        QTest::addRow("FAIL TEST is no outage") << QStringList{"fail test"} << none;
        QTest::addRow("fail command sent") << QStringList{"fail", "sent", "fail"} << red;
        QTest::addRow("line back") << QStringList{"fail", "sent", "answer"} << none;
        QTest::addRow("paused while failing") << QStringList{"fail", "pause"} << grey;
        QTest::addRow("pause over") << QStringList{"fail", "sent", "pause", "resume"} << red;
        QTest::addRow("badge off") << QStringList{"off", "fail", "sent", "pause"} << none;
    }

    void badgeShowsTheState()
    {
        QFETCH(QStringList, events);
        QFETCH(QColor, corner);

        const QImage plain = m_window->windowIcon().pixmap(32, 32).toImage();
        TrayBadge badge([this](BadgeState state) { m_trayWindow->ShowBadge(state); });
        m_trayWindow->AddTrayIcon();
        const QString tip = m_tray.tip;
        CycleReport failing;
        CycleReport answered;
        answered.answered = true;
        for (const QString &event : std::as_const(events)) {
            if (event == QStringLiteral("answer"))
                badge.cycleDone(answered);
            else if (event == QStringLiteral("fail"))
                badge.cycleDone(failing);
            else if (event == QStringLiteral("sent"))
                badge.commandSent(CommandKind::Fail, QStringLiteral("^m"));
            else if (event == QStringLiteral("fail test"))
                badge.commandSent(CommandKind::FailTest, QStringLiteral("^m"));
            else if (event == QStringLiteral("off"))
                badge.setEnabled(false);
            else
                badge.setPaused(event == QStringLiteral("pause"));
        }

        const QImage shown = m_tray.icon.pixmap(32, 32).toImage();
        if (corner.isValid())
            QCOMPARE(shown.pixelColor(24, 24), corner);
        else
            QCOMPARE(shown, plain);
        // Only the corner: the picture above and left of it is the icon's own.
        QCOMPARE(shown.copy(0, 0, 32, 16), plain.copy(0, 0, 32, 16));
        QCOMPARE(m_window->windowIcon().pixmap(32, 32).toImage(), plain);
        QCOMPARE(m_tray.tip, tip);
    }

    // From the moment the icon shows, a right click opens the menu and the first left
    // click brings the window: after a start hidden in the tray (the window never
    // shown, so that no late answer of the desktop can hide it again), after a start
    // without a notification area (minimised), and when the desktop drops the
    // minimised state of a window it no longer shows.
    void menuAndFirstClickWorkFromTheStart_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<bool>("stateDropped");
        QTest::addColumn<bool>("shownAtStart");

        QTest::addRow("hidden start") << "in tray" << false << false;
        QTest::addRow("hidden start, state dropped") << "in tray" << true << false;
        QTest::addRow("no notification area") << "no tray" << false << true;
        QTest::addRow("shown and minimised, state dropped") << "shown" << true << true;
    }

    void menuAndFirstClickWorkFromTheStart()
    {
        QFETCH(QString, start);
        QFETCH(bool, stateDropped);
        QFETCH(bool, shownAtStart);

        ShowCount shows(*m_window);
        m_tray.available = start != u"no tray";
        if (start == u"shown")
            showAndMinimise();
        else
            m_trayWindow->StartInTray();
        QCoreApplication::processEvents();
        QVERIFY(m_tray.shown);
        QVERIFY(m_window->isMinimized());
        QCOMPARE(m_window->isVisible(), start == u"no tray");
        if (stateDropped) {
            m_window->windowHandle()->setWindowState(Qt::WindowNoState);
            QTRY_VERIFY(!m_window->isMinimized());
            QVERIFY(!m_window->isVisible());
        }
        QCOMPARE(shows.count > 0, shownAtStart);

        m_tray.onContextRequested(QPoint(40, 30));
        QVERIFY(menu().isVisible());
        QCOMPARE(menu().pos(), QPoint(40, 30));
        menu().close();

        m_tray.onActivated();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QVERIFY(m_window->isVisible());
        QVERIFY(!m_window->isMinimized());
    }

    // A watch that can send no echo says so in the tip and the corner, over whatever
    // the watch asks the tip to show meanwhile, and gives both back once echoes go
    // out again. The badge's switch turns off only the dot.
    void blindWatchSaysSo_data()
    {
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QString>("tip");
        QTest::addColumn<QColor>("corner");

        const QString blind = QStringLiteral("Corvane (pings cannot be sent)");
        const QString start = QStringLiteral("Corvane (0%)");
        const QColor none;
        const QColor violet(0x80, 0x40, 0xff);
        const QColor amber(0xff, 0xb0, 0x00);
        QTest::addRow("blind from the start") << QStringList{"blind"} << blind << violet;
        QTest::addRow("blind before the icon shows")
            << QStringList{"blind", "icon"} << blind << violet;
        QTest::addRow("echoes again") << QStringList{"blind", "seen"} << start << none;
        QTest::addRow("tip asked for while blind")
            << QStringList{"blind", "tip"} << blind << violet;
        QTest::addRow("tip asked for while blind, then echoes")
            << QStringList{"blind", "tip", "seen"} << "Corvane (paused until 13:00)" << none;
        QTest::addRow("blind while paused") << QStringList{"pause", "blind"} << blind << violet;
        QTest::addRow("blind while failing, then echoes")
            << QStringList{"fail", "blind", "seen"} << start << amber;
        QTest::addRow("badge off") << QStringList{"off", "blind"} << blind << none;
    }

    void blindWatchSaysSo()
    {
        QFETCH(QStringList, events);
        QFETCH(QString, tip);
        QFETCH(QColor, corner);

        const QImage plain = m_window->windowIcon().pixmap(32, 32).toImage();
        TrayBadge badge([this](BadgeState state) { m_trayWindow->ShowBadge(state); });
        WatchEventHub watch;
        watch.listen(badge);
        watch.listen(*m_trayWindow);
        if (!events.contains(QStringLiteral("icon")))
            m_trayWindow->AddTrayIcon();
        for (const QString &event : std::as_const(events)) {
            if (event == u"blind" || event == u"seen")
                watch.watchBlind(event == u"blind");
            else if (event == u"icon")
                m_trayWindow->AddTrayIcon();
            else if (event == u"tip")
                m_trayWindow->UpdateTrayTip(QStringLiteral("Corvane (paused until 13:00)"));
            else if (event == u"pause")
                badge.setPaused(true);
            else if (event == u"fail")
                watch.cycleDone(CycleReport());
            else if (event == u"off")
                badge.setEnabled(false);
        }

        QCOMPARE(m_tray.tip, tip);
        const QImage shown = m_tray.icon.pixmap(32, 32).toImage();
        if (corner.isValid())
            QCOMPARE(shown.pixelColor(24, 24), corner);
        else
            QCOMPARE(shown, plain);
        // What a pause that ends brings back is the tip asked for, never the blind one.
        QCOMPARE(m_trayWindow->TipText(), events.contains(QStringLiteral("tip"))
                                              ? QStringLiteral("Corvane (paused until 13:00)")
                                              : QStringLiteral("Corvane (0%)"));
    }

private:
    // Counts the window's shows: a window the desktop was never asked to show has no
    // answer of the desktop's to come.
    struct ShowCount : QObject
    {
        explicit ShowCount(QWidget &window) { window.installEventFilter(this); }
        bool eventFilter(QObject *, QEvent *event) override
        {
            // Not the desktop's own, as a minimised window's restored state brings.
            count += event->type() == QEvent::Show && !event->spontaneous();
            return false;
        }
        int count = 0;
    };

    QMenu &menu() const { return m_window->PopupMenu(); }
    void showWithIcon()
    {
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_trayWindow->AddTrayIcon();
    }
    void showAndMinimise()
    {
        showWithIcon();
        m_trayWindow->MinimizeWindow();
    }

    FakeTray m_tray;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<TrayWindow> m_trayWindow;
};

QTEST_MAIN(TestTrayWindow)
#include "tst_traywindow.moc"
