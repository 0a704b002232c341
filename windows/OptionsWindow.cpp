#include "OptionsWindow.h"

#include "ConfirmOnLeave.h"
#include "ConsoleMatch.h"
#include "LoginStart.h"
#include "MessageBoxes.h"
#include "Settings.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QVBoxLayout>

#include <utility>

namespace {

const QString kTitle = QStringLiteral("Options");

struct FieldText
{
    OptionKey key;
    const char *label;
    // Shown beside the field; empty for a field without one.
    const char *unit;
    const char *tip;
};

const FieldText kFieldTexts[] = {
    {OptionKey::GraceSeconds, "Start &grace:", "seconds",
     "Seconds after start-up during which no fail command is sent, so that a boot does not "
     "act before the network is up (0 to 86400; 0: none)."},
    {OptionKey::ResumeGraceSeconds, "Grace after wa&king up:", "seconds",
     "Seconds after the computer wakes from sleep during which no fail command is sent, so "
     "that a network still coming up does not act; 60 suits a laptop (0 to 3600; 0: none)."},
    {OptionKey::RecoverCycles, "Recovery c&ycles:", "cycles",
     "Answered cycles in a row that end an outage once the fail command has gone, so "
     "that a line answering for a moment does not start a new outage (1 to 100)."},
    {OptionKey::EchoesPerAddress, "&Echoes per address:", "echoes",
     "Echoes an address gets within one cycle until it answers, each with the address's "
     "time-out, so that one lost echo does not fail a cycle (1 to 10)."},
    {OptionKey::MaxSendsPerOutage, "&Most sends per outage:", "sends",
     "How many fail commands one outage may send; the count starts again when an address "
     "answers (0 to 1000; 0: no limit)."},
    {OptionKey::ResendBackoff, "Resend &back-off:", "times the last delay",
     "A factor that multiplies the resend delay after each resend, such as 2 or 1.5 "
     "(1 to 10; 1: the delay stays the same)."},
    {OptionKey::MaxResendMinutes, "Longest resend &delay:", "minutes",
     "Minutes the resend delay may grow to by the back-off (0 to 10080; 0: no cap)."},
    {OptionKey::AckPattern, "&Acknowledgement pattern:", "",
     "A regular expression that the router's console output matches when it has acted on "
     "the fail command (empty: no check)."},
    {OptionKey::AckSeconds, "Acknowledgement &wait:", "seconds",
     "Seconds after a fail command within which the console output must match the pattern "
     "(1 to 3600)."},
    {OptionKey::MetricsFile, "Metrics &file:", "",
     "The file for node_exporter's textfile collector, rewritten after every cycle, such as "
     "/var/lib/prometheus/node-exporter/corvane.prom (empty: none)."},
};

const FieldText kSwitchTexts[] = {
    {OptionKey::ReopenPort, "&Reopen the comm port by itself", "",
     "A port closed by an error opens again before the next send and when its device comes "
     "back (on/off)."},
    {OptionKey::Notify, "Show &notifications when the line goes down and comes back", "",
     "A notification as the line goes down, as the fail command is sent and as the line "
     "comes back (on/off)."},
    {OptionKey::TrayBadge, "Show the line's state on the tray &icon", "",
     "A dot in the icon's corner: amber while cycles fail, red once the fail command has "
     "gone, grey while actions are paused (on/off)."},
};

} // namespace

OptionsWindow::OptionsWindow(Options &options, Settings &settings, MessageBoxes &boxes,
                             std::function<QByteArray()> consoleTail, const QWidget &over,
                             LoginStart *loginStart)
    : QWidget(nullptr, Qt::Window), m_options(options), m_settings(settings), m_boxes(boxes),
      m_consoleTail(std::move(consoleTail)), m_over(over), m_loginStart(loginStart)
{
    setObjectName(QStringLiteral("OptionsWindow"));
    setWindowTitle(kTitle);
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    layout->addLayout(form);
    AddFields(*form);
    AddSwitches(*form);

    auto *resultLabel = new QLabel(QStringLiteral("Pattern test &result:"), this);
    m_patternResult = new QPlainTextEdit(this);
    m_patternResult->setObjectName(QStringLiteral("PatternResult"));
    m_patternResult->setReadOnly(true);
    resultLabel->setBuddy(m_patternResult);
    auto *testPattern = new QPushButton(QStringLiteral("&Test pattern"), this);
    testPattern->setObjectName(QStringLiteral("TestPattern"));
    testPattern->setToolTip(
        QStringLiteral("Shows what the pattern matches in the last 2 KB the console has sent."));
    connect(testPattern, &QPushButton::clicked, this, &OptionsWindow::TestPattern);
    auto *close = new QPushButton(QStringLiteral("&Close"), this);
    close->setObjectName(QStringLiteral("Close"));
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(testPattern);
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addWidget(resultLabel);
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

void OptionsWindow::AddFields(QFormLayout &form)
{
    for (const FieldText &text : kFieldTexts) {
        auto *field = new QLineEdit(this);
        field->setObjectName(OptionKeyName(text.key));
        field->setToolTip(QString::fromUtf8(text.tip));
        m_fields.append({text.key, field});
        auto *label = new QLabel(QString::fromUtf8(text.label), this);
        label->setBuddy(field);
        if (text.key == OptionKey::MetricsFile) {
            form.addRow(label, MetricsFileRow(*field));
            continue;
        }
        if (*text.unit == '\0') {
            form.addRow(label, field);
            continue;
        }
        auto *row = new QHBoxLayout;
        row->addWidget(field);
        auto *unit = new QLabel(QString::fromUtf8(text.unit), this);
        unit->setObjectName(OptionKeyName(text.key) + QStringLiteral("Unit"));
        row->addWidget(unit);
        form.addRow(label, row);
    }
}

QWidget *OptionsWindow::MetricsFileRow(QLineEdit &field)
{
    auto *row = new QWidget(this);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(&field);
    auto *choose = new QPushButton(QStringLiteral("C&hoose\u2026"), row);
    choose->setObjectName(QStringLiteral("ChooseMetricsFile"));
    connect(choose, &QPushButton::clicked, this, &OptionsWindow::ChooseMetricsFile);
    layout->addWidget(choose);
    return row;
}

void OptionsWindow::AddSwitches(QFormLayout &form)
{
    for (const FieldText &text : kSwitchTexts) {
        auto *box = new QCheckBox(QString::fromUtf8(text.label), this);
        box->setObjectName(OptionKeyName(text.key));
        box->setToolTip(QString::fromUtf8(text.tip));
        form.addRow(box);
        m_switches.append({text.key, box});
        connect(box, &QCheckBox::toggled, this, [this, key = text.key](bool on) {
            Take(key, on ? QStringLiteral("1") : QStringLiteral("0"));
        });
    }
    if (!m_loginStart)
        return;
    m_loginStartBox = new QCheckBox(QStringLiteral("&Start Corvane when I log in"), this);
    m_loginStartBox->setObjectName(QStringLiteral("LoginStart"));
    m_loginStartBox->setToolTip(
        QStringLiteral("Writes or removes the entry corvane.desktop in the autostart folder of "
                       "your configuration."));
    form.addRow(m_loginStartBox);
    connect(m_loginStartBox, &QCheckBox::toggled, this, &OptionsWindow::SwitchLoginStart);
}

void OptionsWindow::ShowOptions()
{
    // What was typed and never confirmed before the window closed is not an option.
    for (const auto &[key, field] : std::as_const(m_fields)) {
        field->setText(OptionText(m_options, key));
        field->setCursorPosition(0);
    }
    for (const auto &[key, box] : std::as_const(m_switches)) {
        const QSignalBlocker quiet(box);
        box->setChecked(OptionText(m_options, key) == QStringLiteral("1"));
    }
    if (m_loginStartBox) {
        const QSignalBlocker quiet(m_loginStartBox);
        m_loginStartBox->setChecked(m_loginStart->isOn());
    }
    if (!isVisible())
        CentreOver();
    show();
    raise();
    activateWindow();
}

void OptionsWindow::CentreOver()
{
    // The main window spends most of its life hidden in the tray; then the screen it
    // would come back on stands in for it.
    adjustSize();
    const QRect area = m_over.isVisible() && !m_over.isMinimized()
                           ? m_over.frameGeometry()
                           : m_over.screen()->availableGeometry();
    QRect placed(QPoint(), frameGeometry().size());
    placed.moveCenter(area.center());
    move(placed.topLeft());
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

void OptionsWindow::ChooseMetricsFile()
{
    QLineEdit *field = findChild<QLineEdit *>(OptionKeyName(OptionKey::MetricsFile));
    const QString chosen =
        QFileDialog::getSaveFileName(this, QStringLiteral("Metrics file"), field->text(),
                                     QStringLiteral("Prometheus text files (*.prom)"), nullptr,
                                     QFileDialog::DontConfirmOverwrite);
    if (chosen.isEmpty())
        return;
    field->setText(chosen);
    bool refuse = false;
    Confirm(OptionKey::MetricsFile, chosen, refuse);
}

void OptionsWindow::SwitchLoginStart(bool on)
{
    const std::optional<QString> refusal = on ? m_loginStart->turnOn() : m_loginStart->turnOff();
    if (!refusal)
        return;
    m_boxes.show(*refusal, kTitle, BoxStyle::OkExclamation);
    const QSignalBlocker quiet(m_loginStartBox);
    m_loginStartBox->setChecked(m_loginStart->isOn());
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
