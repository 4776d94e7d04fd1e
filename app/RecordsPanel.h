#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include <QAbstractTableModel>
#include <QFont>
#include <QWidget>

#include "engine/TableEngine.h"
#include "platform/core/CString.h"

class QLabel;
class QPushButton;
class QTableView;
class QTextEdit;

// The rows of the record list, kept as the engine's texts: a cell becomes a QString only
// when the view draws it, so a page of 1000 rows of thousands of columns costs no widget
// and no conversion per cell.
class CRecordListModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    // One list column per table column, one row per row of the page.
    void Fill(const std::vector<ColumnInfo>& columns, const TablePage& rows);
    // Headings and cells row after row (cells.size() a multiple of headings.size()).
    void Fill(std::vector<CString> headings, std::vector<CString> cells);
    void Clear();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const CString& Cell(int row, int column) const;
    // The column is computed by the server and its cells hold no value from the files.
    bool NotStored(int column) const;

private:
    std::vector<CString> m_headings;
    std::vector<std::uint8_t> m_notStored;
    std::vector<CString> m_cells;
    int m_rows = 0;
};

// The records panel of the view: the record list with the status line and the paging
// buttons under it, and the text pane for SQL text in the same place.
class CDralvekStatic : public QWidget {
public:
    explicit CDralvekStatic(QWidget* parent = nullptr);

    // Record-list column width and the strip under the list.
    static constexpr int kColumnWidth = 200;
    static constexpr int kBottomStrip = 35;

    CRecordListModel m_recordModel;
    QTableView* m_wndRecordList = nullptr;
    QTextEdit* m_wndTextPane = nullptr;
    QPushButton* m_btnPrevious = nullptr;
    QPushButton* m_btnNext = nullptr;
    QLabel* m_wndStatusLine = nullptr;
    QFont m_fontNormal;
    QFont m_fontBold;

    // Shows the list (with its strip) or the text pane; the other is hidden.
    void ShowRecordList();
    void ShowTextPane();
    void SetStatusText(const CString& text);
    void SetSqlText(const CString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Layout(int cx, int cy);
};
