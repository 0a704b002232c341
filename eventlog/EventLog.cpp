#include "EventLog.h"

#include "Clock.h"
#include "LocaleText.h"
#include "MessageBoxes.h"
#include "Outcome.h"
#include "TextFile.h"
#include "WindowFields.h"

namespace {

const QString kSeparator = QStringLiteral(" ");
const QString kLogFileError = QStringLiteral("Log File Error");
const QString kViewLog = QStringLiteral("View Log");

} // namespace

EventLog::EventLog(const WindowFields &fields, const Clock &clock, TextFiles &files,
                   TextEditor &editor, MessageBoxes &boxes)
    : m_fields(fields), m_clock(clock), m_files(files), m_editor(editor), m_boxes(boxes)
{
}

void EventLog::WriteLog(const QString &message, bool stamp, bool spaced, const QString &category)
{
    Append(stamp, spaced, category, [&](AppendFile &file, PendingFailure &failure) {
        if (spaced) {
            failure.remember(file.writeLine(message));
            failure.remember(file.writeLine(kSeparator));
        } else {
            failure.remember(file.write(message));
        }
    });
    if (onEntry)
        onEntry(message);
}

void EventLog::WriteReceived(const QByteArray &bytes, bool stamp)
{
    Append(stamp, false, kCommunications, [&](AppendFile &file, PendingFailure &failure) {
        failure.remember(file.writeBytes(bytes));
    });
}

void EventLog::Append(bool stamp, bool spaced, const QString &category,
                      const std::function<void(AppendFile &, PendingFailure &)> &writeBody)
{
    const QString path = m_fields.text(Field::FailLog);
    if (path.size() < 2)
        return;

    PendingFailure failure;
    Outcome opened = Outcome::success();
    if (const std::unique_ptr<AppendFile> file = m_files.openForAppend(path, opened)) {
        if ((stamp || spaced) && file->endsMidLine())
            failure.remember(file->writeLine(QString()));
        if (spaced)
            failure.remember(file->writeLine(kSeparator));
        if (stamp)
            failure.remember(file->writeLine(HeaderLine(category)));
        writeBody(*file, failure);
        failure.remember(file->close());
    } else {
        failure.remember(opened);
    }

    if (!failure.isPending()) {
        m_logErrorShown = false;
        return;
    }
    if (m_logErrorShown)
        return;
    m_logErrorShown = true;
    // The serial port is left alone: a wrong log path must not silence the
    // failure action, which is what the program is for.
    m_boxes.show(failure.description(), kLogFileError, BoxStyle::OkExclamation);
}

void EventLog::ViewLog()
{
    const QString path = m_fields.text(Field::FailLog);
    const Outcome opened = m_editor.open(path);
    if (opened.failed())
        m_boxes.show(
            QStringLiteral("The log file \"%1\" could not be opened in the text editor.\n%2")
                .arg(path, opened.description()),
            kViewLog, BoxStyle::OkExclamation);
}

QString EventLog::HeaderLine(const QString &category) const
{
    // Date and time from one reading, so an entry written at midnight cannot pair
    // the old day with the new time.
    const QDateTime now = m_clock.now();
    return ShortDateText(now.date()) + u' ' + LongTimeText(now.time()) + QStringLiteral("  [") +
           category + u']';
}
