#include "model/sheetgrid.h"

#include "model/textfile.h"

#include <algorithm>

void SheetGrid::set(int row, int column, const QByteArray &text)
{
    if (row >= int(m_rows.size()))
        m_rows.resize(std::size_t(row) + 1);
    std::vector<QByteArray> &cells = m_rows[std::size_t(row)];
    if (column >= int(cells.size()))
        cells.resize(std::size_t(column) + 1);
    cells[std::size_t(column)] = text;
    m_columnCount = std::max(m_columnCount, column + 1);
}

void SheetGrid::setNumber(int row, int column, double value)
{
    QByteArray text;
    appendFixed(text, value, 6);
    set(row, column, text);
}

void SheetGrid::write(AtomicTextFile &file) const
{
    for (const std::vector<QByteArray> &cells : m_rows) {
        QByteArray &line = file.line();
        for (int column = 0; column < m_columnCount; ++column) {
            if (column > 0)
                line.append(',');
            if (column < int(cells.size()))
                line.append(cells[std::size_t(column)]);
        }
        file.endLine();
    }
}
