#pragma once

#include <QByteArray>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <optional>

// The router's console bytes read as text: one character per byte, as Latin-1 maps
// them, so that no byte is lost to a failed decoding and offsets stay byte offsets.
QString ConsoleText(const QByteArray &bytes);

// The line of text where pattern first matches (every line the match spans, joined
// by a blank), without its line ends and with its other control characters blanked;
// nothing when it does not match.
std::optional<QString> MatchedLine(const QRegularExpression &pattern, const QString &text);

// Every line where pattern matches, in order, each once, as MatchedLine shows it.
QStringList MatchedLines(const QRegularExpression &pattern, const QString &text);

// The last count characters of text for a log entry: line ends become the log's own,
// other control characters blanks, and line ends at either edge are dropped.
QString LogExcerpt(const QString &text, qsizetype count);
