// The settings file is edited by hand and read at every start: any bytes must parse
// without harm, and a save must give back exactly the value saved while leaving every
// other line of the file as it was.
//
// Input: the file's bytes, then optionally a NUL, the section (UTF-8), a NUL, the key
// (UTF-8), a NUL and the value as UTF-16 code units in machine order, so that any
// text can be saved, halves of surrogate pairs included.
#include "FuzzProperty.h"
#include "IniDocument.h"

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <cstring>

namespace {

const QByteArray kByteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");

// The file's lines without their line breaks ("\n" or "\r\n"), so that a line break
// added after a last line without one does not count as a change of that line, and
// without the byte order mark, which stays in front of whatever line comes first.
QList<QByteArray> Lines(QByteArray content)
{
    if (content.startsWith(kByteOrderMark))
        content.remove(0, kByteOrderMark.size());
    if (content.isEmpty())
        return {};
    QList<QByteArray> lines = content.split('\n');
    for (qsizetype index = 0; index + 1 < lines.size(); ++index) {
        if (lines[index].endsWith('\r'))
            lines[index].chop(1);
    }
    if (content.endsWith('\n'))
        lines.removeLast();
    return lines;
}

// The same lines, except one changed in place or up to three added in one place (a
// blank line, a section header and the key).
bool OnlyTheKeysLinesDiffer(const QList<QByteArray> &before, const QList<QByteArray> &after)
{
    if (after.size() < before.size() || after.size() > before.size() + 3)
        return false;
    qsizetype same = 0;
    while (same < before.size() && before[same] == after[same])
        ++same;
    if (after.size() == before.size())
        return same == before.size() ||
               std::equal(before.begin() + same + 1, before.end(), after.begin() + same + 1);
    return std::equal(before.begin() + same, before.end(),
                      after.begin() + same + (after.size() - before.size()));
}

// Every line left is one of the lines before, in the same order.
bool OnlyLinesTakenAway(const QList<QByteArray> &before, const QList<QByteArray> &after)
{
    auto next = before.begin();
    for (const QByteArray &line : after) {
        next = std::find(next, before.end(), line);
        if (next == before.end())
            return false;
        ++next;
    }
    return true;
}

QString Utf16Text(const QByteArray &bytes)
{
    QString text(bytes.size() / 2, Qt::Uninitialized);
    std::memcpy(text.data(), bytes.constData(), size_t(text.size()) * 2);
    return text;
}

void CheckSave(const QByteArray &content, const QString &section, const QString &key,
               const QString &value)
{
    IniDocument document(content);
    const bool stored = document.setValue(section, key, value);
    RequireProperty(stored == (IsIniName(section) && IsIniName(key)),
                    "a value is stored exactly when its section and key are names");
    if (!stored) {
        RequireProperty(document.content() == content, "a refused save changes nothing");
        return;
    }
    const QByteArray saved = document.content();
    RequireProperty(IniDocument(saved).value(section, key) == value,
                    "a saved value reads back exactly");
    RequireProperty(OnlyTheKeysLinesDiffer(Lines(content), Lines(saved)),
                    "a save changes only the key's line");
    RequireProperty(saved.startsWith(kByteOrderMark) == content.startsWith(kByteOrderMark),
                    "a byte order mark stays, and none is added");

    IniDocument removed(saved);
    RequireProperty(removed.remove(section, key), "a saved key can be removed");
    RequireProperty(!IniDocument(removed.content()).value(section, key).has_value(),
                    "a removed key no longer reads");
    RequireProperty(OnlyLinesTakenAway(Lines(saved), Lines(removed.content())),
                    "a removal only takes lines away");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const QList<QByteArray> parts = input.split('\0');
    const QByteArray &content = parts[0];

    const IniDocument document(content);
    RequireProperty(document.content() == content, "reading and writing back changes nothing");
    const QList<int> skipped = document.skippedLines();
    RequireProperty(std::is_sorted(skipped.begin(), skipped.end()) &&
                        (skipped.isEmpty() ||
                         (skipped.front() >= 1 && skipped.back() <= Lines(content).size())),
                    "skipped lines are numbered in order within the file");

    if (parts.size() < 4)
        return 0;
    // The value is everything after the third NUL, NULs in it included.
    const qsizetype valueStart = content.size() + parts[1].size() + parts[2].size() + 3;
    CheckSave(content, QString::fromUtf8(parts[1]), QString::fromUtf8(parts[2]),
              Utf16Text(input.sliced(valueStart)));
    return 0;
}
