#include "IniDocument.h"

#include "IniValue.h"

#include <QStringDecoder>

#include <algorithm>

namespace {

const QByteArray kByteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");

QStringView WithoutBlanks(QStringView text)
{
    while (!text.isEmpty() && IsIniBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && IsIniBlank(text.back()))
        text.chop(1);
    return text;
}

// Line by line, so that one Latin-1 comment typed by hand neither spoils the other
// lines nor the UTF-8 values written by Corvane itself.
QString DecodedLine(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder(bytes);
    if (!decoder.hasError())
        return text;
    return QString::fromLatin1(bytes);
}

bool IsAscii(const QByteArray &bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char byte) { return quint8(byte) < 0x80; });
}

// What comes before the value on a key line: the user's indentation and spacing around
// "=" are kept when they are plain ASCII, which cannot change how the new value decodes.
QByteArray KeyPart(const QByteArray &line, const QString &key)
{
    qsizetype end = line.indexOf('=') + 1;
    while (end < line.size() && (line[end] == ' ' || line[end] == '\t'))
        ++end;
    const QByteArray part = line.left(end);
    return IsAscii(part) ? part : key.toUtf8() + '=';
}

} // namespace

IniDocument::IniDocument(const QByteArray &content)
{
    qsizetype start = 0;
    if (content.startsWith(kByteOrderMark)) {
        m_byteOrderMark = kByteOrderMark;
        start = kByteOrderMark.size();
    }
    QString section;
    while (start < content.size()) {
        qsizetype end = content.indexOf('\n', start);
        QByteArray lineBreak;
        if (end < 0) {
            end = content.size();
        } else {
            lineBreak = QByteArrayLiteral("\n");
            if (end > start && content[end - 1] == '\r') {
                lineBreak.prepend('\r');
                --end;
            }
        }
        if (m_lineBreak.isEmpty())
            m_lineBreak = lineBreak;
        m_lines.append(ParsedLine(content.sliced(start, end - start), lineBreak, section));
        section = m_lines.back().section;
        start = end + lineBreak.size();
    }
    if (m_lineBreak.isEmpty())
        m_lineBreak = QByteArrayLiteral("\n");
}

IniDocument::Line IniDocument::ParsedLine(QByteArray bytes, QByteArray lineBreak,
                                          const QString &section)
{
    Line line{std::move(bytes), std::move(lineBreak), Kind::Comment, section, {}, {}};
    const QString text = DecodedLine(line.bytes);
    const QStringView trimmed = WithoutBlanks(text);
    if (trimmed.isEmpty() || trimmed.startsWith(u'#') || trimmed.startsWith(u';'))
        return line;
    if (trimmed.size() >= 2 && trimmed.startsWith(u'[') && trimmed.endsWith(u']')) {
        line.kind = Kind::Section;
        line.section = WithoutBlanks(trimmed.sliced(1, trimmed.size() - 2)).toString();
        return line;
    }
    const qsizetype equals = trimmed.indexOf(u'=');
    const QStringView key = WithoutBlanks(trimmed.first(std::max<qsizetype>(equals, 0)));
    // A key before the first section header belongs to no section, so nothing reads
    // it: it is named with the other lines that are not settings.
    if (key.isEmpty() || section.isEmpty()) {
        line.kind = Kind::Skipped;
        return line;
    }
    line.kind = Kind::Key;
    line.key = key.toString();
    line.storedValue = WithoutBlanks(trimmed.sliced(equals + 1)).toString();
    return line;
}

QByteArray IniDocument::content() const
{
    QByteArray bytes = m_byteOrderMark;
    for (const Line &line : m_lines)
        bytes += line.bytes + line.lineBreak;
    return bytes;
}

qsizetype IniDocument::find(const QString &section, const QString &key) const
{
    const auto found = std::find_if(m_lines.begin(), m_lines.end(), [&](const Line &line) {
        return line.kind == Kind::Key && line.section == section && line.key == key;
    });
    return found == m_lines.end() ? -1 : found - m_lines.begin();
}

std::optional<QString> IniDocument::value(const QString &section, const QString &key) const
{
    const qsizetype index = find(section, key);
    if (index < 0)
        return std::nullopt;
    return IniValueText(m_lines[index].storedValue);
}

bool IniDocument::hasKeys(const QString &section) const
{
    return std::any_of(m_lines.begin(), m_lines.end(), [&section](const Line &line) {
        return line.kind == Kind::Key && line.section == section;
    });
}

QStringList IniDocument::keys(const QString &section) const
{
    QStringList keys;
    for (const Line &line : m_lines) {
        if (line.kind == Kind::Key && line.section == section && !keys.contains(line.key))
            keys.append(line.key);
    }
    return keys;
}

QList<int> IniDocument::skippedLines() const
{
    QList<int> numbers;
    for (qsizetype index = 0; index < m_lines.size(); ++index) {
        if (m_lines[index].kind == Kind::Skipped)
            numbers.append(int(index + 1));
    }
    return numbers;
}

// After the last key of the section's first occurrence rather than at the very end of
// it: comments just before the next section header usually describe that section, and
// stay with it. -1 when the file has no such section.
qsizetype IniDocument::insertionIndex(const QString &section) const
{
    const auto header = std::find_if(m_lines.begin(), m_lines.end(), [&section](const Line &line) {
        return line.kind == Kind::Section && line.section == section;
    });
    if (header == m_lines.end())
        return -1;
    qsizetype index = header - m_lines.begin();
    for (qsizetype next = index + 1; next < m_lines.size(); ++next) {
        if (m_lines[next].kind == Kind::Section)
            break;
        if (m_lines[next].kind == Kind::Key)
            index = next;
    }
    return index + 1;
}

void IniDocument::insert(qsizetype index, Line line)
{
    // A last line without a line break gets one before anything follows it; after a
    // final "\r" that is "\r\n", or the "\r" would be read as part of the break.
    if (index > 0 && m_lines[index - 1].lineBreak.isEmpty()) {
        Line &last = m_lines[index - 1];
        last.lineBreak = last.bytes.endsWith('\r') ? QByteArrayLiteral("\r\n") : m_lineBreak;
    }
    m_lines.insert(index, std::move(line));
}

bool IniDocument::setValue(const QString &section, const QString &key, const QString &value)
{
    if (!IsIniName(section) || !IsIniName(key))
        return false;
    const QByteArray notation = IniValueNotation(value).toUtf8();
    if (const qsizetype index = find(section, key); index >= 0) {
        Line &line = m_lines[index];
        line = ParsedLine(KeyPart(line.bytes, key) + notation, line.lineBreak, section);
        return true;
    }
    qsizetype index = insertionIndex(section);
    if (index < 0) {
        index = m_lines.size();
        if (index > 0 && !m_lines.back().bytes.trimmed().isEmpty())
            insert(index++, ParsedLine({}, m_lineBreak, m_lines.back().section));
        insert(index++, ParsedLine('[' + section.toUtf8() + ']', m_lineBreak, section));
    }
    insert(index, ParsedLine(key.toUtf8() + '=' + notation, m_lineBreak, section));
    return true;
}

bool IniDocument::remove(const QString &section, const QString &key)
{
    return m_lines.removeIf([&](const Line &line) {
        return line.kind == Kind::Key && line.section == section && line.key == key;
    }) > 0;
}

bool IsIniName(const QString &name)
{
    if (name.isEmpty() || IsIniBlank(name.front()) || IsIniBlank(name.back()))
        return false;
    if (name.startsWith(u'#') || name.startsWith(u';') || name.startsWith(u'['))
        return false;
    if (name.contains(u'=') || name.contains(u'\n') || name.contains(u'\r'))
        return false;
    for (qsizetype index = 0; index < name.size(); ++index) {
        if (name[index].isHighSurrogate() && index + 1 < name.size() &&
            name[index + 1].isLowSurrogate())
            ++index;
        else if (name[index].isSurrogate())
            return false;
    }
    return true;
}
