#pragma once

#include "Options.h"

#include <QByteArray>
#include <QWidget>

#include <functional>

class LoginStart;
class MessageBoxes;
class QCheckBox;
class QFormLayout;
class QLineEdit;
class QPlainTextEdit;
class QTabWidget;
class Settings;

// The Options window: one field per option, with its unit beside it and a tooltip
// that tells what it does, on its pages: the watch of the line, the event programs,
// the desktop, the line's quality and the power relay, all from the key's row in
// OptionTable.h. As in the main window, a
// field is checked when the focus leaves it, for another control or another page; a
// refusal keeps the focus there with a message, and a value is stored as it is
// confirmed. "Test pattern" shows what the pattern in its field matches in the
// console's latest output.
class OptionsWindow final : public QWidget
{
public:
    // consoleTail hands over the console's latest bytes, as many as the acknowledgement
    // check looks at, so the test shows what the check would see. The window opens
    // centred over the window over; loginStart, where there is one, is offered as a
    // check box.
    OptionsWindow(Options &options, Settings &settings, MessageBoxes &boxes,
                  std::function<QByteArray()> consoleTail, const QWidget &over,
                  LoginStart *loginStart = nullptr);

    // Shows the options as they are now, in front.
    void ShowOptions();

    // An option was confirmed and stored.
    std::function<void(OptionKey key)> onChanged;
    // POWER TEST was clicked: one power cycle through the relay.
    std::function<void()> onPowerTest;

private:
    // forms holds each page's form, in the order of the pages.
    void AddFields(const QList<QFormLayout *> &forms);
    void AddSwitches(const QList<QFormLayout *> &forms);
    void AddPatternTest(QFormLayout &form);
    void AddPowerTest(QFormLayout &form);
    QWidget *MetricsFileRow(QLineEdit &field);
    void ChooseMetricsFile();
    void Confirm(OptionKey key, QLineEdit &field, bool &refuse);
    void ConfirmLeftPage(int shown);
    void Take(OptionKey key, const QString &text);
    void SwitchLoginStart(bool on);
    void TestPattern();
    void CentreOver();

    Options &m_options;
    Settings &m_settings;
    MessageBoxes &m_boxes;
    std::function<QByteArray()> m_consoleTail;
    const QWidget &m_over;
    LoginStart *m_loginStart;
    QTabWidget *m_pages = nullptr;
    int m_shownPage = 0;
    QList<std::pair<OptionKey, QLineEdit *>> m_fields;
    QList<std::pair<OptionKey, QCheckBox *>> m_switches;
    QCheckBox *m_loginStartBox = nullptr;
    QPlainTextEdit *m_patternResult = nullptr;
};
