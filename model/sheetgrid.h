#pragma once

#include <QByteArray>
#include <vector>

class AtomicTextFile;

// A sheet of text cells addressed by row and column, written as CSV: every
// row spans the columns up to the rightmost cell used anywhere, and cells
// never set stay empty.
class SheetGrid {
public:
    void set(int row, int column, const QByteArray &text);
    void setNumber(int row, int column, double value);

    void write(AtomicTextFile &file) const;

private:
    std::vector<std::vector<QByteArray>> m_rows;
    int m_columnCount = 0;
};
