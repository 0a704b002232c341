#include "AppRig.h"

#include <QMenu>

namespace {

// Counts the shows the program asks for, not the desktop's own.
class ShowCount final : public QObject
{
public:
    explicit ShowCount(QWidget &window) { window.installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == QEvent::Show && !event->spontaneous();
        return false;
    }
};

} // namespace

// The tray as the whole program starts it and the watch feeds it: the menu and the
// window at hand from the first click, and the truth about a watch that sees nothing.
class TestTrayFromStart : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(m_rig.emplace().router.isValid()); }
    void cleanup() { m_rig.reset(); }

    // The window starts in the tray without ever being shown, so that no late answer
    // of the desktop to a show can hide it again; the menu opens at once, and the first
    // click on the icon brings the window.
    void startsInTheTrayWithItsMenuAtHand()
    {
        ShowCount shows(m_rig->window());
        m_rig->start();
        QVERIFY(m_rig->tray.shown);
        QCOMPARE(shows.count, 0);

        m_rig->tray.onContextRequested(QPoint(20, 20));
        QVERIFY(m_rig->window().PopupMenu().isVisible());
        m_rig->window().PopupMenu().close();
        QVERIFY(m_rig->showWindow());
        QVERIFY(!m_rig->window().isMinimized());
    }

    // Without an echo socket (at the start-up check or at a cycle) the tip and the
    // badge say so instead of a healthy "0%"; the first cycle whose echoes go out
    // again gives both back.
    void blindWatchShowsIt_data()
    {
        QTest::addColumn<QString>("blindness");
        QTest::addColumn<bool>("echoesAgain");
        QTest::addColumn<QString>("tip");
        QTest::addColumn<bool>("badged");

        const QString blind = QStringLiteral("Corvane (pings cannot be sent)");
        QTest::addRow("no socket at the start") << "start" << false << blind << true;
        QTest::addRow("refused at a cycle") << "cycle" << false << blind << true;
        QTest::addRow("echoes again") << "start" << true << "Corvane (0%)" << false;
        QTest::addRow("echoes from the start") << "" << false << "Corvane (0%)" << false;
    }

    void blindWatchShowsIt()
    {
        QFETCH(QString, blindness);
        QFETCH(bool, echoesAgain);
        QFETCH(QString, tip);
        QFETCH(bool, badged);

        m_rig->echo.socketsAllowed = blindness != u"start";
        m_rig->start();
        const QString primary = m_rig->window().text(Field::AddrPri);
        if (blindness == u"cycle") {
            m_rig->echo.refuse(primary);
            m_rig->app.engine().PingCycle();
        }
        if (echoesAgain) {
            m_rig->echo.script(primary, kEchoSuccess, 1);
            m_rig->app.engine().PingCycle();
        }

        QCOMPARE(m_rig->tray.tip, tip);
        const QImage plain = m_rig->window().windowIcon().pixmap(32, 32).toImage();
        QCOMPARE(m_rig->tray.icon.pixmap(32, 32).toImage() != plain, badged);
    }

private:
    std::optional<AppRig> m_rig;
};

QTEST_MAIN(TestTrayFromStart)
#include "tst_tray_from_start.moc"
