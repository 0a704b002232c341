#include "OptionsWindow.h"

#include "ConfirmOnLeave.h"
#include "ConsoleMatch.h"
#include "LoginStart.h"
#include "MessageBoxes.h"
#include "OptionTable.h"
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
#include <QTabWidget>
#include <QVBoxLayout>

#include <iterator>
#include <utility>
#include <variant>

namespace {

const QString kTitle = QStringLiteral("Options");

// Each title's mnemonic differs from those of every control, so that it always opens
// its page rather than taking turns with a field.
// "Power" has none: every letter of it is taken on another page.
const char *const kPageTitles[] = {"&Line watch", "Event &programs", "Desktop and rec&ords",
                                   "Line q&uality", "Power"};
static_assert(std::size(kPageTitles) == std::size_t(OptionPage::Power) + 1);

// Said of every event program, after what sets it off.
const char *const kEventProgramRules =
    " Its words are split as a shell would split them, but no shell runs it: an unquoted "
    "| & ; < > ( ) $ ` * ? [ # ~, or $ or ` inside double quotes, is refused, so name a "
    "script for those. It runs only when it and the settings file belong to you or root "
    "and nobody else may write them. Empty runs nothing.";

bool IsSwitch(const OptionRow &row)
{
    return std::holds_alternative<bool Options::*>(row.member);
}

// The field as its label names it, without the access key's mark and the colon.
QString FieldName(const OptionRow &row)
{
    QString name = QString::fromUtf8(row.label);
    name.remove(u'&');
    if (name.endsWith(u':'))
        name.chop(1);
    return name;
}

} // namespace

OptionsWindow::OptionsWindow(Options &options, Settings &settings, MessageBoxes &boxes,
                             std::function<QByteArray()> consoleTail, const QWidget &over,
                             LoginStart *loginStart)
    : QWidget(nullptr, Qt::Window), m_options(options), m_settings(settings), m_boxes(boxes),
      m_consoleTail(std::move(consoleTail)), m_over(over), m_loginStart(loginStart)
{
    setObjectName(QStringLiteral("OptionsWindow"));
    setWindowTitle(kTitle);
    setWindowIcon(over.windowIcon());
    auto *layout = new QVBoxLayout(this);
    m_pages = new QTabWidget(this);
    m_pages->setObjectName(QStringLiteral("OptionPages"));
    layout->addWidget(m_pages);
    QList<QFormLayout *> forms;
    for (const char *title : kPageTitles) {
        auto *page = new QWidget(m_pages);
        forms.append(new QFormLayout(page));
        m_pages->addTab(page, QString::fromUtf8(title));
    }
    AddFields(forms);
    AddSwitches(forms);
    AddPatternTest(*forms[int(OptionPage::LineWatch)]);
    AddPowerTest(*forms[int(OptionPage::Power)]);
    connect(m_pages, &QTabWidget::currentChanged, this, &OptionsWindow::ConfirmLeftPage);

    auto *close = new QPushButton(QStringLiteral("&Close"), this);
    close->setObjectName(QStringLiteral("Close"));
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);

    QList<QWidget *> confirmed;
    for (const auto &[key, field] : std::as_const(m_fields))
        confirmed.append(field);
    new ConfirmOnLeave(*this, confirmed, [this](QWidget &widget, bool &refuse) {
        for (const auto &[key, field] : std::as_const(m_fields)) {
            if (field == &widget)
                Confirm(key, *field, refuse);
        }
    });
}

void OptionsWindow::AddFields(const QList<QFormLayout *> &forms)
{
    for (const OptionRow &row : OptionRows()) {
        if (IsSwitch(row))
            continue;
        QFormLayout &form = *forms[int(row.page)];
        auto *field = new QLineEdit(this);
        field->setObjectName(OptionKeyName(row.key));
        QString tip = OptionTip(row);
        if (IsEventProgram(row.key))
            tip += QString::fromUtf8(kEventProgramRules);
        field->setToolTip(tip);
        m_fields.append({row.key, field});
        auto *label = new QLabel(QString::fromUtf8(row.label), this);
        label->setBuddy(field);
        if (row.key == OptionKey::MetricsFile) {
            form.addRow(label, MetricsFileRow(*field));
            continue;
        }
        if (*row.unit == '\0') {
            form.addRow(label, field);
            continue;
        }
        auto *line = new QHBoxLayout;
        line->addWidget(field);
        auto *unit = new QLabel(QString::fromUtf8(row.unit), this);
        unit->setObjectName(OptionKeyName(row.key) + QStringLiteral("Unit"));
        line->addWidget(unit);
        form.addRow(label, line);
    }
}

void OptionsWindow::AddPatternTest(QFormLayout &form)
{
    auto *resultLabel = new QLabel(QStringLiteral("Pattern test re&sult:"), this);
    m_patternResult = new QPlainTextEdit(this);
    m_patternResult->setObjectName(QStringLiteral("PatternResult"));
    m_patternResult->setReadOnly(true);
    resultLabel->setBuddy(m_patternResult);
    auto *testPattern = new QPushButton(QStringLiteral("&Test pattern"), this);
    testPattern->setObjectName(QStringLiteral("TestPattern"));
    testPattern->setToolTip(
        QStringLiteral("Shows what the pattern matches in the last 2 KB the console has sent."));
    connect(testPattern, &QPushButton::clicked, this, &OptionsWindow::TestPattern);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(testPattern);
    buttons->addStretch();
    form.addRow(resultLabel);
    form.addRow(m_patternResult);
    form.addRow(buttons);
}

void OptionsWindow::AddPowerTest(QFormLayout &form)
{
    auto *powerTest = new QPushButton(QStringLiteral("POWER &TEST"), this);
    powerTest->setObjectName(QStringLiteral("PowerTest"));
    powerTest->setToolTip(QStringLiteral(
        "Switches the router's power off through the relay, holds it off and switches it on "
        "again, as the fields on this page say; the log tells each step and the verdict."));
    connect(powerTest, &QPushButton::clicked, this, [this] {
        if (onPowerTest)
            onPowerTest();
    });
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(powerTest);
    buttons->addStretch();
    form.addRow(buttons);
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

void OptionsWindow::AddSwitches(const QList<QFormLayout *> &forms)
{
    // After the fields of each page, as a form reads best.
    for (const OptionRow &row : OptionRows()) {
        if (!IsSwitch(row))
            continue;
        auto *box = new QCheckBox(QString::fromUtf8(row.label), this);
        box->setObjectName(OptionKeyName(row.key));
        box->setToolTip(OptionTip(row));
        forms[int(row.page)]->addRow(box);
        m_switches.append({row.key, box});
        connect(box, &QCheckBox::toggled, this, [this, key = row.key](bool on) {
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
    forms[int(OptionPage::Desktop)]->addRow(m_loginStartBox);
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

void OptionsWindow::Confirm(OptionKey key, QLineEdit &field, bool &refuse)
{
    if (const std::optional<QString> refusal = OptionRefusal(key, field.text())) {
        // Three pages of fields: the box says which one it speaks of.
        m_boxes.show(FieldName(OptionRowOf(key)) + QStringLiteral(": ") + *refusal, kTitle,
                     BoxStyle::OkExclamation);
        refuse = true;
        return;
    }
    Take(key, field.text());
    field.setModified(false);
}

// Another page hides the field being edited without the focus passing to a control
// that ConfirmOnLeave sees taking it, so the page that was left confirms its edited
// field here, and a refusal brings that page back.
void OptionsWindow::ConfirmLeftPage(int shown)
{
    QWidget *left = m_pages->widget(std::exchange(m_shownPage, shown));
    for (const auto &[key, field] : std::as_const(m_fields)) {
        if (!field->isModified() || !left->isAncestorOf(field))
            continue;
        bool refuse = false;
        Confirm(key, *field, refuse);
        if (refuse) {
            m_pages->setCurrentWidget(left);
            field->setFocus(Qt::OtherFocusReason);
        }
        return;
    }
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
    Confirm(OptionKey::MetricsFile, *field, refuse);
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
