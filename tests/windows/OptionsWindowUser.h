#pragma once

#include "AppRig.h"

#include <QAction>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>

#include <optional>

// The running program, its Options window, and the user's ways through it: clicks
// that go to a page first when the control is on another, typing over a field. The
// test classes of the Options window make the rig in their init().
class OptionsWindowUser : public QObject
{
protected:
    void resetRig()
    {
        m_window = nullptr;
        m_started = false;
        m_rig.reset();
    }

    // Retries 1, so that the first failing cycle acts.
    void start()
    {
        m_started = true;
        m_rig->start({{QStringLiteral("FailTries"), QStringLiteral("1")}});
        m_rig->router.receive();
    }
    void openOptions()
    {
        if (!m_started)
            start();
        item(QStringLiteral("mOptions"))->trigger();
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (window->objectName() == QStringLiteral("OptionsWindow"))
                m_window = window;
        }
        QVERIFY(m_window && QTest::qWaitForWindowActive(m_window));
    }
    QAction *item(const QString &name) { return m_rig->window().findChild<QAction *>(name); }
    QWidget *control(const QString &name) { return m_window->findChild<QWidget *>(name); }
    QCheckBox *checkBox(const QString &name) { return m_window->findChild<QCheckBox *>(name); }
    // Clicks the tab of the page that holds the control, unless it is shown; false when
    // the page that was shown holds on to the focus.
    bool showPageOf(QWidget *target)
    {
        auto *pages = m_window->findChild<QTabWidget *>(QStringLiteral("OptionPages"));
        if (target->isVisible() || !pages->isAncestorOf(target))
            return true;
        int index = 0;
        while (!pages->widget(index)->isAncestorOf(target))
            ++index;
        QTabBar *tabs = pages->tabBar();
        QTest::mouseClick(m_window->windowHandle(), Qt::LeftButton, {},
                          tabs->mapTo(m_window, tabs->tabRect(index).center()));
        return target->isVisible();
    }
    // On the box itself, at its left end.
    void tick(const QString &name)
    {
        QCheckBox *box = checkBox(name);
        QVERIFY(showPageOf(box));
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }
    void clickOn(const QString &name)
    {
        QWidget *target = control(name);
        if (!showPageOf(target))
            return;
        // A check box stretches over its row, but only its box and text take a click.
        const QPoint at = qobject_cast<QCheckBox *>(target) ? QPoint(8, target->height() / 2)
                                                            : target->rect().center();
        QTest::mouseClick(m_window->windowHandle(), Qt::LeftButton, {},
                          target->mapTo(m_window, at));
    }
    void typeInto(const QString &name, const QString &typed)
    {
        clickOn(name);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
        QTest::keyClicks(QApplication::focusWidget(), typed);
    }
    QString stored(const QString &key)
    {
        return m_rig->settingsStore.read(SettingsAppName, OptionsSection, key)
            .value_or(QStringLiteral("(missing)"));
    }
    QString result()
    {
        return m_window->findChild<QPlainTextEdit *>(QStringLiteral("PatternResult"))
            ->toPlainText();
    }

    std::optional<AppRig> m_rig;
    QWidget *m_window = nullptr;
    bool m_started = false;
};
