#pragma once

#include "LogWriter.h"

#include <functional>

class AppendFile;
class Clock;
class PendingFailure;
class MessageBoxes;
class TextEditor;
class TextFiles;
class WindowFields;

// The event log: appends entries to the file named by the log field and opens that
// file in the text editor. The path is read from the field for every entry and
// every view, so a corrected path takes effect with the next entry. A header or a
// separator always starts a line of its own, even where the file ends in the
// middle of one (the router's output, or another program writing to the file).
class EventLog final : public LogWriter
{
public:
    EventLog(const WindowFields &fields, const Clock &clock, TextFiles &files, TextEditor &editor,
             MessageBoxes &boxes);

    void WriteLog(const QString &message, bool stamp, bool spaced,
                  const QString &category) override;
    void WriteReceived(const QByteArray &bytes, bool stamp) override;
    void ViewLog();

    // Told each entry of Corvane's own once it is written or has failed to be (the
    // router's bytes are not), for a second copy elsewhere.
    std::function<void(const QString &)> onEntry;

private:
    // Opens the log, writes the separator and header the entry asks for, then its
    // body, and closes the log; a failure is shown once per run of failures.
    void Append(bool stamp, bool spaced, const QString &category,
                const std::function<void(AppendFile &, PendingFailure &)> &writeBody);
    QString HeaderLine(const QString &category) const;

    const WindowFields &m_fields;
    const Clock &m_clock;
    TextFiles &m_files;
    TextEditor &m_editor;
    MessageBoxes &m_boxes;
    // A log failure has been reported and no entry has been written since: while
    // the file stays unwritable the user sees one box, not one per second.
    bool m_logErrorShown = false;
};
