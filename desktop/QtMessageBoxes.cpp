#include "QtMessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QStringList>

#include <utility>

namespace {

const QString kCommandIndent = QStringLiteral("  ");
// The text as it was given, before any rich text made of it.
constexpr char kShownText[] = "corvaneText";

// A text with commands in it becomes rich text in which the commands never break:
// the box then grows as wide as its longest command, and the prose wraps around.
// A plain text is left to the box as it is.
void SetBoxText(QMessageBox &box, const QString &text)
{
    const QStringList lines = text.split(u'\n');
    bool hasCommand = false;
    for (const QString &line : lines)
        hasCommand |= line.startsWith(kCommandIndent);
    if (!hasCommand) {
        box.setText(text);
        return;
    }
    QString rich;
    for (const QString &line : lines) {
        if (line.startsWith(kCommandIndent))
            rich += QStringLiteral("<p style=\"white-space:pre; margin-left:1em\"><code>") +
                    line.trimmed().toHtmlEscaped() + QStringLiteral("</code></p>");
        else
            rich += QStringLiteral("<p>") + line.toHtmlEscaped() + QStringLiteral("</p>");
    }
    box.setTextFormat(Qt::RichText);
    box.setText(rich);
}

} // namespace

// A warning still open when the program ends goes with it rather than with the
// application object; one that belongs to the window has gone with the window.
QtMessageBoxes::~QtMessageBoxes()
{
    for (const QPointer<QMessageBox> &box : std::as_const(m_openWarnings))
        delete box.data();
}

BoxAnswer QtMessageBoxes::show(const QString &text, const QString &title, BoxStyle style)
{
    switch (style) {
    case BoxStyle::YesNoQuestion: {
        QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No,
                        Owner());
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? BoxAnswer::Yes : BoxAnswer::No;
    }
    case BoxStyle::Ok: {
        QMessageBox box(QMessageBox::NoIcon, title, {}, QMessageBox::Ok, Owner());
        SetBoxText(box, text);
        box.exec();
        return BoxAnswer::Ok;
    }
    case BoxStyle::OkExclamation:
        OpenWarning(text, title);
        return BoxAnswer::Ok;
    }
    return BoxAnswer::Ok;
}

void QtMessageBoxes::OpenWarning(const QString &text, const QString &title)
{
    // A failure that repeats every tick (a port that stays unusable) would
    // otherwise pile up a box a second.
    m_openWarnings.removeIf([](const QPointer<QMessageBox> &box) { return box.isNull(); });
    for (const QPointer<QMessageBox> &box : std::as_const(m_openWarnings)) {
        if (box->windowTitle() == title && box->property(kShownText) == text)
            return;
    }

    // open(), not exec(): the caller carries on at once and no event loop runs
    // inside it, so the timers and the handlers they run never nest.
    const QPointer<QWidget> owner = Owner();
    auto *box = new QMessageBox(QMessageBox::Warning, title, {}, QMessageBox::Ok, owner);
    SetBoxText(*box, text);
    box->setProperty(kShownText, text);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Nothing makes the desktop hand the keyboard back to the window the box kept the
    // user out of, where a refused field waits for its correction.
    QObject::connect(box, &QDialog::finished, box, [owner] {
        if (owner && owner->isVisible() && !owner->isMinimized())
            owner->activateWindow();
    });
    box->open();
    // The window is hidden in the tray most of the time, and nothing the user did
    // brought this box up: it has to come to the front by itself.
    box->raise();
    box->activateWindow();
    m_openWarnings.append(box);
}

QWidget *QtMessageBoxes::Owner() const
{
    QWidget *active = QApplication::activeWindow();
    if (active && !qobject_cast<QMessageBox *>(active))
        return active;
    return m_window;
}

BoxAnswer HeadlessMessageBoxes::show(const QString &text, const QString &title, BoxStyle style)
{
    // A box starts a line with its title; its further lines are indented under it, so
    // that none reads as a box of its own, and a command keeps a line to itself.
    QString line = title + QStringLiteral(": ") + text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    line.replace(QStringLiteral("\n"), QStringLiteral("\n  "));
    line += QLatin1Char('\n');
    // A stream nobody reads any more (a closed pipe) fails the write; the box has
    // then been shown to nobody, which is all a headless box can do anyway.
    std::fputs(line.toLocal8Bit().constData(), m_stream);
    std::fflush(m_stream);
    return style == BoxStyle::YesNoQuestion ? BoxAnswer::Yes : BoxAnswer::Ok;
}
