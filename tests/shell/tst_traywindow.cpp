#include "FakeMessageBoxes.h"
#include "FakeTray.h"
#include "Form1.h"
#include "ModalGuard.h"
#include "TrayWindow.h"

#include <QAction>
#include <QMenu>
#include <QWindow>
#include <QtTest>

#include <memory>

// The window's life beside the tray icon, through a fake notification area.
class TestTrayWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void tipShowsTheFailureLevel_data();
    void tipShowsTheFailureLevel();
    void tipIsCutToWhatEveryTrayShows();
    void minimisingTucksTheWindowAway();
    void clickOnTheIconRestores_data();
    void clickOnTheIconRestores();
    void rightClickOpensTheMenuOnlyWhileMinimised();
    void noMenuWhileABoxIsOpen();
    void withoutATrayTheWindowMinimisesNormally();
    void afterTheIconIsRemovedTheWindowIsNotHidden();

private:
    QMenu &menu() const { return m_form->PopupMenu(); }
    void showAndMinimise();

    FakeMessageBoxes m_boxes;
    FakeTray m_tray;
    std::unique_ptr<ModalGuard> m_guard;
    std::unique_ptr<Form1> m_form;
    std::unique_ptr<TrayWindow> m_trayWindow;
};

void TestTrayWindow::init()
{
    m_tray = FakeTray();
    m_guard = std::make_unique<ModalGuard>(m_boxes);
    m_form = std::make_unique<Form1>(QStringLiteral("/tmp/log.txt"), *m_guard);
    m_trayWindow = std::make_unique<TrayWindow>(*m_form, m_tray, *m_guard);
}

void TestTrayWindow::cleanup()
{
    m_trayWindow.reset();
    QVERIFY(!m_tray.onActivated && !m_tray.onContextRequested);
    m_form.reset();
    m_guard.reset();
}

void TestTrayWindow::showAndMinimise()
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    m_trayWindow->AddTrayIcon();
    m_trayWindow->MinimizeWindow();
}

void TestTrayWindow::tipShowsTheFailureLevel_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<QString>("tip");

    QTest::addRow("start-up") << 0 << 5 << "Corvane (0%)";
    QTest::addRow("two of five") << 2 << 5 << "Corvane (40%)";
    QTest::addRow("one of three") << 1 << 3 << "Corvane (33.3333333333333%)";
    QTest::addRow("two of three") << 2 << 3 << "Corvane (66.6666666666667%)";
}

void TestTrayWindow::tipShowsTheFailureLevel()
{
    QFETCH(int, value);
    QFETCH(int, maximum);
    QFETCH(QString, tip);

    QVERIFY(m_form->setMaximum(maximum));
    m_form->setValue(value);
    m_trayWindow->AddTrayIcon();
    QVERIFY(m_tray.shown);
    QCOMPARE(m_tray.tip, tip);
    QCOMPARE(m_tray.icon.cacheKey(), m_form->windowIcon().cacheKey());

    m_trayWindow->UpdateTrayTip(QStringLiteral("Corvane (Fail command sent)"));
    QCOMPARE(m_tray.tip, QStringLiteral("Corvane (Fail command sent)"));
    m_trayWindow->RemoveTrayIcon();
    QVERIFY(!m_tray.shown);
}

void TestTrayWindow::tipIsCutToWhatEveryTrayShows()
{
    m_trayWindow->UpdateTrayTip(QString(80, u'x'));
    QCOMPARE(m_tray.tip, QString(63, u'x'));
}

void TestTrayWindow::minimisingTucksTheWindowAway()
{
    showAndMinimise();
    QVERIFY(m_form->isMinimized());
    QVERIFY(!m_form->isVisible());
    QVERIFY(m_tray.shown);

    // The title bar's minimise button: the change comes from the platform.
    m_trayWindow->RestoreWindow();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    m_form->windowHandle()->setWindowState(Qt::WindowMinimized);
    QTRY_VERIFY(!m_form->isVisible());
    QVERIFY(m_form->isMinimized());
}

void TestTrayWindow::clickOnTheIconRestores_data()
{
    QTest::addColumn<bool>("fromMenu");
    QTest::addRow("left click") << false;
    QTest::addRow("restore item") << true;
}

void TestTrayWindow::clickOnTheIconRestores()
{
    QFETCH(bool, fromMenu);

    showAndMinimise();
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
}

void TestTrayWindow::rightClickOpensTheMenuOnlyWhileMinimised()
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    m_trayWindow->AddTrayIcon();
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

void TestTrayWindow::noMenuWhileABoxIsOpen()
{
    showAndMinimise();
    bool menuOpened = true;
    m_boxes.onShow = [&] {
        m_tray.onContextRequested(QPoint(10, 10));
        menuOpened = menu().isVisible();
    };
    m_guard->show(QStringLiteral("text"), QStringLiteral("Comm Port Error"),
                  BoxStyle::OkExclamation);
    QVERIFY(!menuOpened);
}

// Without a notification area there would be no way back to a hidden window.
void TestTrayWindow::withoutATrayTheWindowMinimisesNormally()
{
    m_tray.available = false;
    showAndMinimise();
    QVERIFY(m_form->isMinimized());
    QVERIFY(m_form->isVisible());
}

void TestTrayWindow::afterTheIconIsRemovedTheWindowIsNotHidden()
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    m_trayWindow->AddTrayIcon();
    m_trayWindow->RemoveTrayIcon();
    m_trayWindow->MinimizeWindow();
    QVERIFY(m_form->isVisible());
}

QTEST_MAIN(TestTrayWindow)
#include "tst_traywindow.moc"
