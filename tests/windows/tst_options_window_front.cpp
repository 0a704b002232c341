#include "LoginStart.h"
#include "OptionTable.h"
#include "OptionsWindowUser.h"
#include "QtMessageBoxes.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>

// The Options window as the desktop shows it: a refusal's warning in front of it, the
// program's icon, and access keys that each reach one control.
class TestOptionsWindowFront : public OptionsWindowUser
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(m_rig.emplace().router.isValid()); }
    void cleanup() { resetRig(); }

    // On the desktop, the refusal's warning belongs to the Options window, not to the
    // main window tucked away in the tray: it comes up in front of the Options window,
    // which has the keyboard back, on the refused field, once the warning is answered.
    void refusalKeepsTheOptionsWindowInFront_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("typed");
        QTest::addRow("on the first page") << "GraceSeconds"
                                           << "-1";
        QTest::addRow("on another page") << "EventTimeoutSeconds"
                                         << "0";
    }
    void refusalKeepsTheOptionsWindowInFront()
    {
        QFETCH(QString, name);
        QFETCH(QString, typed);
        m_rig.emplace(QString(), &m_desktopBoxes);
        m_desktopBoxes.setWindow(&m_rig->window());
        openOptions();

        typeInto(name, typed);
        clickOn(QStringLiteral("TestPattern"));

        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        QCOMPARE(box->parentWidget(), m_window);
        QVERIFY(box->text().startsWith(OptionLabel(name).remove(u'&').chopped(1) +
                                       QStringLiteral(": ")));
        QVERIFY(QTest::qWaitForWindowActive(box));
        QVERIFY(!m_rig->window().isVisible());
        box->button(QMessageBox::Ok)->click();
        QVERIFY(QTest::qWaitForWindowActive(m_window));
        QCOMPARE(QApplication::focusWidget(), control(name));
    }

    // The window shows the program's icon in its title bar and task bar entry.
    void windowHasTheProgramsIcon()
    {
        openOptions();
        QVERIFY(!m_window->windowIcon().isNull());
        QCOMPARE(m_window->windowIcon().pixmap(32, 32).toImage(),
                 m_rig->window().windowIcon().pixmap(32, 32).toImage());
    }

    // Alt and a letter reaches one control only: on each page, the access keys of its
    // labels and buttons, of the page titles and of Close all differ.
    void accessKeysDifferOnEveryPage()
    {
        LoginStartStandIn loginStart;
        m_rig->settings.loginStart = &loginStart;
        openOptions();
        auto *pages = m_window->findChild<QTabWidget *>(QStringLiteral("OptionPages"));
        QStringList everywhere;
        for (int index = 0; index < pages->count(); ++index)
            everywhere << pages->tabText(index);
        for (QAbstractButton *button : m_window->findChildren<QAbstractButton *>()) {
            if (!pages->isAncestorOf(button))
                everywhere << button->text();
        }
        for (int index = 0; index < pages->count(); ++index) {
            QStringList texts = everywhere;
            const QWidget *page = pages->widget(index);
            for (const QLabel *label : page->findChildren<QLabel *>())
                texts << label->text();
            for (const QAbstractButton *button : page->findChildren<QAbstractButton *>())
                texts << button->text();
            QHash<QKeySequence, QString> taken;
            for (const QString &text : std::as_const(texts)) {
                const QKeySequence key = QKeySequence::mnemonic(text);
                if (key.isEmpty())
                    continue;
                QVERIFY2(!taken.contains(key),
                         qPrintable(QStringLiteral("%1: \"%2\" and \"%3\"")
                                        .arg(pages->tabText(index), taken.value(key), text)));
                taken.insert(key, text);
            }
            QVERIFY(taken.size() > everywhere.size());
        }
    }

private:
    // The desktop's own boxes, for the test that looks at where they open; they outlive
    // every rig, which cleanup() ends first.
    QtMessageBoxes m_desktopBoxes;
    // A start at login that is never on, for the check box that offers it.
    struct LoginStartStandIn final : LoginStart
    {
        bool isOn() const override { return false; }
        std::optional<QString> turnOn() override { return std::nullopt; }
        std::optional<QString> turnOff() override { return std::nullopt; }
    };
    static QString OptionLabel(const QString &name)
    {
        for (const OptionRow &row : OptionRows()) {
            if (OptionKeyName(row.key) == name)
                return QString::fromUtf8(row.label);
        }
        return {};
    }
};

QTEST_MAIN(TestOptionsWindowFront)
#include "tst_options_window_front.moc"
