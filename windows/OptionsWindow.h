#pragma once

#include "Options.h"

#include <QByteArray>
#include <QWidget>

#include <functional>

class MessageBoxes;
class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class Settings;

// The Options window: one field per option, each with a tooltip that tells what it
// does and its unit. As in the main window, a field is checked when the focus
// leaves it, a refusal keeps the focus there with a message, and a value is stored
// as it is confirmed. "Test pattern" shows what the pattern in its field matches in
// the console's latest output.
class OptionsWindow final : public QWidget
{
public:
    // consoleTail hands over the console's latest bytes, as many as the acknowledgement
    // check looks at, so the test shows what the check would see.
    OptionsWindow(Options &options, Settings &settings, MessageBoxes &boxes,
                  std::function<QByteArray()> consoleTail, QWidget *parent = nullptr);

    // Shows the options as they are now, in front.
    void ShowOptions();

    // An option was confirmed and stored.
    std::function<void(OptionKey key)> onChanged;

private:
    void Confirm(OptionKey key, const QString &text, bool &refuse);
    void Take(OptionKey key, const QString &text);
    void TestPattern();

    Options &m_options;
    Settings &m_settings;
    MessageBoxes &m_boxes;
    std::function<QByteArray()> m_consoleTail;
    QList<std::pair<OptionKey, QLineEdit *>> m_fields;
    QCheckBox *m_reopenPort = nullptr;
    QPlainTextEdit *m_patternResult = nullptr;
};
