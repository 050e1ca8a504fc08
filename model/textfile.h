#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

// A text file written under a temporary name and renamed over the target only
// once complete, so a failed or abandoned export never leaves a truncated
// file under the user's chosen name.  Where the folder takes no new files
// but the target is writable, the target is written in place.  Lines end
// with the platform's newline.
class AtomicTextFile {
public:
    explicit AtomicTextFile(const QString &path);

    bool isOpen() const;

    // Text of the current line; endLine() finishes it.
    QByteArray &line() { return m_buffer; }
    void endLine();

    // Writes what is left and moves the file into place; false when anything
    // failed, and then the target is untouched.  Without commit() the
    // temporary file is discarded.
    bool commit();

private:
    void flush();

    QSaveFile m_file;
    QByteArray m_buffer;
    bool m_writeFailed = false;
};

// Numbers as a C++ output stream prints them with the given precision:
// general form (shortest of fixed and scientific) or fixed decimals.
void appendNumber(QByteArray &text, double value, int significantDigits = 6);
void appendFixed(QByteArray &text, double value, int decimals);
