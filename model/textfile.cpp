#include "model/textfile.h"

#include <charconv>

namespace {
constexpr int flushThreshold = 1 << 16;
}

AtomicTextFile::AtomicTextFile(const QString &path)
    : m_file(path)
{
    // A folder that takes no new files may still hold a writable target.
    m_file.setDirectWriteFallback(true);
    m_file.open(QIODevice::WriteOnly | QIODevice::Text);
    m_buffer.reserve(flushThreshold + 1024);
}

bool AtomicTextFile::isOpen() const
{
    return m_file.isOpen();
}

void AtomicTextFile::endLine()
{
    m_buffer.append('\n');
    if (m_buffer.size() >= flushThreshold)
        flush();
}

void AtomicTextFile::flush()
{
    if (!m_writeFailed && m_file.write(m_buffer) != m_buffer.size())
        m_writeFailed = true;
    m_buffer.clear();
}

bool AtomicTextFile::commit()
{
    if (!m_file.isOpen())
        return false;
    flush();
    if (m_writeFailed) {
        m_file.cancelWriting();
        return false;
    }
    return m_file.commit();
}

namespace {

void appendChars(QByteArray &text, double value, std::chars_format format, int precision)
{
    char digits[400];
    const std::to_chars_result result = std::to_chars(digits, digits + sizeof digits, value, format, precision);
    text.append(digits, int(result.ptr - digits));
}

} // namespace

void appendNumber(QByteArray &text, double value, int significantDigits)
{
    appendChars(text, value, std::chars_format::general, significantDigits);
}

void appendFixed(QByteArray &text, double value, int decimals)
{
    appendChars(text, value, std::chars_format::fixed, decimals);
}
