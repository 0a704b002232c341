#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// A settings file held as its lines of bytes, so that changing a value rewrites that
// value's line alone and every other byte stays as the user left it: comments, order,
// unknown keys and sections, line breaks, and text in any encoding.
//
// Blank lines and lines starting with "#" or ";" (after blanks) are comments, "[name]"
// starts a section, and a line with "=" is a key: the text before the first "=" names
// it, the text after it is its value (see IniValue.h), both without surrounding blanks.
// Any other line, a key before the first section included, is skipped and remembered,
// and every good line is still read. Names
// match case-sensitively. Each line is read as UTF-8 when it is valid UTF-8, otherwise
// as Latin-1; lines that are added or changed are written in UTF-8.
class IniDocument
{
public:
    explicit IniDocument(const QByteArray &content = {});

    QByteArray content() const;

    // The first occurrence of the key in the section.
    std::optional<QString> value(const QString &section, const QString &key) const;
    bool hasKeys(const QString &section) const;
    // The section's keys, each once, in the order they first appear.
    QStringList keys(const QString &section) const;
    // Numbers, from 1, of the lines that are neither comments, sections nor keys.
    QList<int> skippedLines() const;

    // Changes the first occurrence of the key, or adds the key after the last key of
    // the section's first occurrence, or adds the section at the end. False, with
    // nothing changed, when the section or the key is not an IniName.
    bool setValue(const QString &section, const QString &key, const QString &value);
    // Removes every line of the key in the section, so that it no longer reads; false
    // when there was none.
    bool remove(const QString &section, const QString &key);

private:
    enum class Kind
    {
        Comment,
        Section,
        Key,
        Skipped,
    };
    struct Line
    {
        QByteArray bytes;     // without its line break
        QByteArray lineBreak; // "\n", "\r\n", or empty on a last line without one
        Kind kind = Kind::Comment;
        QString section; // the name a section line gives, or the section a line is in
        QString key;
        QString storedValue; // as written, without surrounding blanks
    };

    static Line ParsedLine(QByteArray bytes, QByteArray lineBreak, const QString &section);
    qsizetype find(const QString &section, const QString &key) const;
    qsizetype insertionIndex(const QString &section) const;
    void insert(qsizetype index, Line line);

    QByteArray m_byteOrderMark;
    QList<Line> m_lines;
    // Added lines end like the file's first line, so that a CR LF file stays one.
    QByteArray m_lineBreak;
};

// Whether a text can be written as the name of a section or a key and be read back as
// that name: not empty, no surrounding blanks, no line break or "=", not starting with
// "#", ";" or "[", and no half of a surrogate pair.
bool IsIniName(const QString &name);
