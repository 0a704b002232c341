#include "FakeTray.h"
#include "MainWindow.h"
#include "QtMessageBoxes.h"
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
        m_form = std::make_unique<MainWindow>(QStringLiteral("/tmp/log.txt"));
        m_trayWindow = std::make_unique<TrayWindow>(*m_form, m_tray);
    }

    void cleanup()
    {
        m_trayWindow.reset();
        QVERIFY(!m_tray.onActivated && !m_tray.onContextRequested);
        m_form.reset();
    }

    // The first tip shows the meter's level as a percentage; later ones are cut to what
    // every notification area shows.
    void tipShowsTheFailureLevel()
    {
        QVERIFY(m_form->setMaximum(3));
        m_form->setValue(1);
        m_trayWindow->AddTrayIcon();
        QVERIFY(m_tray.shown);
        QCOMPARE(m_tray.tip, QStringLiteral("Corvane (33.3333333333333%)"));
        QCOMPARE(m_tray.icon.cacheKey(), m_form->windowIcon().cacheKey());

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
        QVERIFY(m_form->isMinimized());
        QVERIFY(!m_form->isVisible());
        if (fromMenu)
            m_form->RestoreItem().trigger();
        else
            m_tray.onActivated();
        QVERIFY(m_form->isVisible());
        QVERIFY(!m_form->isMinimized());

        // Again while shown: it only comes to the front.
        m_tray.onActivated();
        QVERIFY(m_form->isVisible());
        QVERIFY(!m_form->isMinimized());

        // The title bar's minimise button: the change comes from the platform.
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        m_form->windowHandle()->setWindowState(Qt::WindowMinimized);
        QTRY_VERIFY(!m_form->isVisible());
        QVERIFY(m_form->isMinimized());
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
        boxes.setWindow(m_form.get());
        showAndMinimise();
        boxes.show(QStringLiteral("text"), QStringLiteral("Comm Port Error"),
                   BoxStyle::OkExclamation);
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);

        m_tray.onContextRequested(QPoint(10, 10));
        QVERIFY(menu().isVisible());
        QTest::mouseClick(&menu(), Qt::LeftButton, {},
                          menu().actionGeometry(&m_form->RestoreItem()).center());
        QTRY_VERIFY(m_form->isVisible());
        QVERIFY(!m_form->isMinimized());
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
        QVERIFY(m_form->isMinimized());
        QVERIFY(m_form->isVisible());
    }

private:
    QMenu &menu() const { return m_form->PopupMenu(); }
    void showWithIcon()
    {
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        m_trayWindow->AddTrayIcon();
    }
    void showAndMinimise()
    {
        showWithIcon();
        m_trayWindow->MinimizeWindow();
    }

    FakeTray m_tray;
    std::unique_ptr<MainWindow> m_form;
    std::unique_ptr<TrayWindow> m_trayWindow;
};

QTEST_MAIN(TestTrayWindow)
#include "tst_traywindow.moc"
