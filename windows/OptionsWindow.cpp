#include "OptionsWindow.h"

#include "ConfirmOnLeave.h"
#include "ConsoleMatch.h"
#include "MessageBoxes.h"
#include "Settings.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include <utility>

namespace {

const QString kTitle = QStringLiteral("Options");

struct FieldText
{
    OptionKey key;
    const char *label;
    const char *tip;
};

const FieldText kFieldTexts[] = {
    {OptionKey::GraceSeconds, "Start &grace:",
     "Seconds after start-up during which no fail command is sent, so that a boot does not "
     "act before the network is up (0 to 86400; 0: none)."},
    {OptionKey::ResumeGraceSeconds, "Grace after wa&king up:",
     "Seconds after the computer wakes from sleep during which no fail command is sent, so "
     "that a network still coming up does not act; 60 suits a laptop (0 to 3600; 0: none)."},
    {OptionKey::RecoverCycles, "Recovery c&ycles:",
     "Answered cycles in a row that end an outage once the fail command has gone, so "
     "that a line answering for a moment does not start a new outage (1 to 100)."},
    {OptionKey::EchoesPerAddress, "&Echoes per address:",
     "Echoes an address gets within one cycle until it answers, each with the address's "
     "time-out, so that one lost echo does not fail a cycle (1 to 10)."},
    {OptionKey::MaxSendsPerOutage, "&Most sends per outage:",
     "How many fail commands one outage may send; the count starts again when an address "
     "answers (0 to 1000; 0: no limit)."},
    {OptionKey::ResendBackoff, "Resend &back-off:",
     "A factor that multiplies the resend delay after each resend, such as 2 or 1.5 "
     "(1 to 10; 1: the delay stays the same)."},
    {OptionKey::MaxResendMinutes, "Longest resend &delay:",
     "Minutes the resend delay may grow to by the back-off (0 to 10080; 0: no cap)."},
    {OptionKey::AckPattern, "&Acknowledgement pattern:",
     "A regular expression that the router's console output matches when it has acted on "
     "the fail command (empty: no check)."},
    {OptionKey::AckSeconds, "Acknowledgement &wait:",
     "Seconds after a fail command within which the console output must match the pattern "
     "(1 to 3600)."},
};

} // namespace

OptionsWindow::OptionsWindow(Options &options, Settings &settings, MessageBoxes &boxes,
                             std::function<QByteArray()> consoleTail, QWidget *parent)
    : QWidget(parent, Qt::Window), m_options(options), m_settings(settings), m_boxes(boxes),
      m_consoleTail(std::move(consoleTail))
{
    setObjectName(QStringLiteral("OptionsWindow"));
    setWindowTitle(kTitle);
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    layout->addLayout(form);
    for (const FieldText &text : kFieldTexts) {
        auto *field = new QLineEdit(this);
        field->setObjectName(OptionKeyName(text.key));
        field->setToolTip(QString::fromUtf8(text.tip));
        form->addRow(QString::fromUtf8(text.label), field);
        m_fields.append({text.key, field});
    }
    m_reopenPort = new QCheckBox(QStringLiteral("&Reopen the comm port by itself"), this);
    m_reopenPort->setObjectName(OptionKeyName(OptionKey::ReopenPort));
    m_reopenPort->setToolTip(
        QStringLiteral("A port closed by an error opens again before the next send and when "
                       "its device comes back (on/off)."));
    form->addRow(m_reopenPort);
    connect(m_reopenPort, &QCheckBox::toggled, this, [this](bool on) {
        Take(OptionKey::ReopenPort, on ? QStringLiteral("1") : QStringLiteral("0"));
    });

    auto *testPattern = new QPushButton(QStringLiteral("&Test pattern"), this);
    testPattern->setObjectName(QStringLiteral("TestPattern"));
    testPattern->setToolTip(
        QStringLiteral("Shows what the pattern matches in the last 2 KB the console has sent."));
    connect(testPattern, &QPushButton::clicked, this, &OptionsWindow::TestPattern);
    m_patternResult = new QPlainTextEdit(this);
    m_patternResult->setObjectName(QStringLiteral("PatternResult"));
    m_patternResult->setReadOnly(true);
    auto *close = new QPushButton(QStringLiteral("&Close"), this);
    close->setObjectName(QStringLiteral("Close"));
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(testPattern);
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addWidget(m_patternResult);
    layout->addLayout(buttons);

    QList<QWidget *> confirmed;
    for (const auto &[key, field] : std::as_const(m_fields))
        confirmed.append(field);
    new ConfirmOnLeave(*this, confirmed, [this](QWidget &widget, bool &refuse) {
        for (const auto &[key, field] : std::as_const(m_fields)) {
            if (field == &widget)
                Confirm(key, field->text(), refuse);
        }
    });
}

void OptionsWindow::ShowOptions()
{
    // What was typed and never confirmed before the window closed is not an option.
    for (const auto &[key, field] : std::as_const(m_fields)) {
        field->setText(OptionText(m_options, key));
        field->setCursorPosition(0);
    }
    const QSignalBlocker quiet(m_reopenPort);
    m_reopenPort->setChecked(m_options.reopenPort);
    show();
    raise();
    activateWindow();
}

void OptionsWindow::Confirm(OptionKey key, const QString &text, bool &refuse)
{
    if (const std::optional<QString> refusal = OptionRefusal(key, text)) {
        m_boxes.show(*refusal, kTitle, BoxStyle::OkExclamation);
        refuse = true;
        return;
    }
    Take(key, text);
}

void OptionsWindow::Take(OptionKey key, const QString &text)
{
    m_settings.SaveValue(OptionsSection, OptionKeyName(key), text);
    SetOption(m_options, key, text);
    if (onChanged)
        onChanged(key);
}

void OptionsWindow::TestPattern()
{
    const QString patternText =
        findChild<QLineEdit *>(OptionKeyName(OptionKey::AckPattern))->text();
    const QByteArray tail = m_consoleTail();
    if (const std::optional<QString> refusal = OptionRefusal(OptionKey::AckPattern, patternText)) {
        m_patternResult->setPlainText(*refusal);
        return;
    }
    if (patternText.isEmpty()) {
        m_patternResult->setPlainText(QStringLiteral("Enter a pattern to test."));
        return;
    }
    if (tail.isEmpty()) {
        m_patternResult->setPlainText(
            QStringLiteral("Nothing has been received from the console yet."));
        return;
    }
    const QStringList lines = MatchedLines(QRegularExpression(patternText), ConsoleText(tail));
    if (lines.isEmpty()) {
        m_patternResult->setPlainText(
            QStringLiteral("No match in the last %1 bytes received.").arg(tail.size()));
        return;
    }
    m_patternResult->setPlainText(
        QStringLiteral("Matches in the last %1 bytes received:\n").arg(tail.size()) +
        lines.join(u'\n'));
}
