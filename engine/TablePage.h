#pragma once

#include <cstddef>
#include <stdexcept>
#include <vector>

// The rows of one page, with the vector operations the readers and the window use.
// Emptying the page keeps the rows' storage: the next page copies each new row into a
// row that already has room for it, where a vector of rows would free a whole page of
// rows and allocate it again, row by row, for every page of a table. What is kept is at
// most the largest page read.
template <typename Row>
class RowPage {
public:
    using value_type = Row;
    using size_type = std::size_t;
    using iterator = typename std::vector<Row>::iterator;
    using const_iterator = typename std::vector<Row>::const_iterator;

    size_type size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    void clear() { m_size = 0; }
    void reserve(size_type n) { m_rows.reserve(n); }

    void push_back(const Row& row) {
        // The kept rows were written a page ago and have left the cache: the next one is
        // asked for while this one is copied.
        if (m_size + 1 < m_rows.size()) {
            const Row& ahead = m_rows[m_size + 1];
            const char* p = reinterpret_cast<const char*>(ahead.data());
            const char* end = p + ahead.size() * sizeof(typename Row::value_type);
            for (; p < end; p += 64) __builtin_prefetch(p, 1, 3);
        }
        if (m_size < m_rows.size()) m_rows[m_size] = row;
        else m_rows.push_back(row);
        ++m_size;
    }
    void push_back(Row&& row) {
        if (m_size < m_rows.size()) m_rows[m_size] = std::move(row);
        else m_rows.push_back(std::move(row));
        ++m_size;
    }
    void pop_back() { --m_size; }

    Row& operator[](size_type i) { return m_rows[i]; }
    const Row& operator[](size_type i) const { return m_rows[i]; }
    Row& at(size_type i) {
        if (i >= m_size) throw std::out_of_range("RowPage::at");
        return m_rows[i];
    }
    const Row& at(size_type i) const {
        if (i >= m_size) throw std::out_of_range("RowPage::at");
        return m_rows[i];
    }
    Row& front() { return m_rows.front(); }
    const Row& front() const { return m_rows.front(); }
    Row& back() { return m_rows[m_size - 1]; }
    const Row& back() const { return m_rows[m_size - 1]; }

    iterator begin() { return m_rows.begin(); }
    iterator end() { return m_rows.begin() + static_cast<std::ptrdiff_t>(m_size); }
    const_iterator begin() const { return m_rows.begin(); }
    const_iterator end() const { return m_rows.begin() + static_cast<std::ptrdiff_t>(m_size); }

    // Gives back the storage of the rows kept beyond the current ones.
    void shrink_to_fit() {
        m_rows.resize(m_size);
        m_rows.shrink_to_fit();
    }

private:
    std::vector<Row> m_rows;
    size_type m_size = 0;
};
