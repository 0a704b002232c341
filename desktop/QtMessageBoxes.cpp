#include "QtMessageBoxes.h"

#include <QMessageBox>

#include <utility>

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
                        m_window);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? BoxAnswer::Yes : BoxAnswer::No;
    }
    case BoxStyle::Ok: {
        QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, m_window);
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
        if (box->windowTitle() == title && box->text() == text)
            return;
    }

    // open(), not exec(): the caller carries on at once and no event loop runs
    // inside it, so the timers and the handlers they run never nest.
    auto *box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, m_window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    // The window is hidden in the tray most of the time, and nothing the user did
    // brought this box up: it has to come to the front by itself.
    box->raise();
    box->activateWindow();
    m_openWarnings.append(box);
}

BoxAnswer HeadlessMessageBoxes::show(const QString &text, const QString &title, BoxStyle style)
{
    // One box, one line: a text with line breaks (an error description) would
    // otherwise spread over lines that no longer name their box.
    QString line = title + QStringLiteral(": ") + text;
    line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    line += QLatin1Char('\n');
    // A stream nobody reads any more (a closed pipe) fails the write; the box has
    // then been shown to nobody, which is all a headless box can do anyway.
    std::fputs(line.toLocal8Bit().constData(), m_stream);
    std::fflush(m_stream);
    return style == BoxStyle::YesNoQuestion ? BoxAnswer::Yes : BoxAnswer::Ok;
}
