#include "QtMessageBoxes.h"

#include <QMessageBox>

BoxAnswer QtMessageBoxes::show(const QString &text, const QString &title, BoxStyle style)
{
    switch (style) {
    case BoxStyle::YesNoQuestion: {
        QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? BoxAnswer::Yes : BoxAnswer::No;
    }
    case BoxStyle::OkExclamation:
    case BoxStyle::Ok: {
        const auto icon =
            style == BoxStyle::OkExclamation ? QMessageBox::Warning : QMessageBox::NoIcon;
        QMessageBox box(icon, title, text, QMessageBox::Ok);
        box.exec();
        return BoxAnswer::Ok;
    }
    }
    return BoxAnswer::Ok;
}

BoxAnswer HeadlessMessageBoxes::show(const QString &text, const QString &title, BoxStyle style)
{
    // One box, one line: a text with line breaks (an error description) would
    // otherwise spread over lines that no longer name their box.
    QString line = title + QStringLiteral(": ") + text;
    line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    line += QLatin1Char('\n');
    std::fputs(line.toLocal8Bit().constData(), m_stream);
    std::fflush(m_stream);
    return style == BoxStyle::YesNoQuestion ? BoxAnswer::Yes : BoxAnswer::Ok;
}
