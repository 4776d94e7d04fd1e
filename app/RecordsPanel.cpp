#include "app/RecordsPanel.h"

#include <algorithm>

#include <QBrush>
#include <QColor>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QTableView>
#include <QTextEdit>

#include "app/WindowImages.h"
#include "app/WindowTexts.h"
#include "platform/ui/Messages.h"
#include "platform/ui/QtText.h"
#include "platform/ui/Wnd.h"

namespace {

QFont ArialFont(int weight) {
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(16);
    font.setWeight(static_cast<QFont::Weight>(weight));
    return font;
}

QString NotStoredText() {
    return QStringLiteral("Generated column, computed by the server on every read: not stored in the table's files");
}

const CString& EmptyText() {
    static const CString empty;
    return empty;
}

}  // namespace

void CRecordListModel::Fill(const std::vector<ColumnInfo>& columns, const TablePage& rows) {
    beginResetModel();
    const std::size_t width = columns.size();
    m_headings.resize(width);
    m_notStored.assign(width, 0);
    for (std::size_t c = 0; c < width; ++c) {
        m_headings[c] = columns[c].m_strName;
        m_notStored[c] = columns[c].m_bNotStored;
    }
    m_rows = static_cast<int>(rows.size());
    m_cells.resize(width * rows.size());
    auto out = m_cells.begin();
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const TableRow& row = rows[r];
        // A row shorter than the column list leaves its last cells empty.
        const std::size_t n = std::min(width, row.size());
        for (std::size_t c = 0; c < n; ++c) out[c] = row[c].m_strValue;
        for (std::size_t c = n; c < width; ++c) out[c].Empty();
        out += static_cast<std::ptrdiff_t>(width);
    }
    endResetModel();
}

void CRecordListModel::Fill(std::vector<CString> headings, std::vector<CString> cells) {
    beginResetModel();
    m_headings = std::move(headings);
    m_notStored.assign(m_headings.size(), 0);
    m_cells = std::move(cells);
    m_rows = m_headings.empty() ? 0 : static_cast<int>(m_cells.size() / m_headings.size());
    m_cells.resize(static_cast<std::size_t>(m_rows) * m_headings.size());
    endResetModel();
}

void CRecordListModel::Clear() { Fill(std::vector<CString>(), std::vector<CString>()); }

int CRecordListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_rows; }

int CRecordListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_headings.size());
}

const CString& CRecordListModel::Cell(int row, int column) const {
    if (row < 0 || column < 0 || row >= m_rows || column >= static_cast<int>(m_headings.size())) return EmptyText();
    return m_cells[static_cast<std::size_t>(row) * m_headings.size() + static_cast<std::size_t>(column)];
}

bool CRecordListModel::NotStored(int column) const {
    return column >= 0 && static_cast<std::size_t>(column) < m_notStored.size() &&
           m_notStored[static_cast<std::size_t>(column)] != 0;
}

QVariant CRecordListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    // A computed column's empty cell must not pass for an empty value.
    if (NotStored(index.column())) {
        if (role == Qt::BackgroundRole) return QBrush(QColor(0xE4, 0xE4, 0xE4));
        if (role == Qt::ToolTipRole) return NotStoredText();
    }
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return ToQString(Cell(index.row(), index.column()));
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    return {};
}

QVariant CRecordListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::DisplayRole && section >= 0 && section < static_cast<int>(m_headings.size()))
        return ToQString(m_headings[static_cast<std::size_t>(section)]);
    if (role == Qt::ToolTipRole && NotStored(section)) return NotStoredText();
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    return {};
}

CDralvekStatic::CDralvekStatic(QWidget* parent)
    : QWidget(parent), m_recordModel(this), m_fontNormal(ArialFont(400)), m_fontBold(ArialFont(700)) {
    m_wndRecordList = new QTableView(this);
    m_wndRecordList->setObjectName(QStringLiteral("recordList"));
    m_wndRecordList->setModel(&m_recordModel);
    m_wndRecordList->setShowGrid(true);
    m_wndRecordList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_wndRecordList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_wndRecordList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_wndRecordList->setWordWrap(false);
    m_wndRecordList->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_wndRecordList->verticalHeader()->hide();
    // Every row as high as the first: the view never measures a row's cells.
    m_wndRecordList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_wndRecordList->verticalHeader()->setDefaultSectionSize(m_wndRecordList->fontMetrics().height() + 6);
    QHeaderView* header = m_wndRecordList->horizontalHeader();
    header->setFont(m_fontBold);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setDefaultSectionSize(kColumnWidth);
    header->setMinimumSectionSize(20);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setHighlightSections(false);

    m_wndTextPane = new QTextEdit(this);
    m_wndTextPane->setObjectName(QStringLiteral("textPane"));
    m_wndTextPane->setReadOnly(true);
    m_wndTextPane->setAcceptRichText(false);
    m_wndTextPane->setLineWrapMode(QTextEdit::NoWrap);
    m_wndTextPane->setFont(m_fontNormal);

    auto makeButton = [this](int image, const char* tip, const char* name) {
        auto* button = new QPushButton(this);
        button->setObjectName(QLatin1String(name));
        button->setFont(m_fontNormal);
        button->setIcon(QIcon(ResourceImage(image)));
        button->setIconSize(QSize(24, 24));
        button->setToolTip(QLatin1String(tip));
        button->setAutoDefault(false);
        return button;
    };
    m_btnPrevious = makeButton(IDB_PREVIOUS, "Previous Records", "previousRecords");
    m_btnNext = makeButton(IDB_NEXT, "Next Records", "nextRecords");
    // The frame's paging runs to its end before the click returns.
    connect(m_btnPrevious, &QPushButton::clicked, this,
            [this] { ::SendMessage(CWnd::FromWidget(this), WM_PREVIOUS_RECORDS, 0, 0); });
    connect(m_btnNext, &QPushButton::clicked, this, [this] { ::SendMessage(CWnd::FromWidget(this), WM_NEXT_RECORDS, 0, 0); });

    m_wndStatusLine = new QLabel(this);
    m_wndStatusLine->setObjectName(QStringLiteral("statusLine"));
    m_wndStatusLine->setTextFormat(Qt::PlainText);
    m_wndStatusLine->setFont(m_fontNormal);

    // Until a table is shown only the empty text pane is there.
    m_wndRecordList->hide();
    m_wndStatusLine->hide();
    m_btnPrevious->hide();
    m_btnNext->hide();
}

void CDralvekStatic::ShowRecordList() {
    m_wndTextPane->hide();
    m_wndRecordList->show();
    m_wndStatusLine->show();
    m_btnPrevious->show();
    m_btnNext->show();
}

void CDralvekStatic::ShowTextPane() {
    m_wndRecordList->hide();
    m_wndStatusLine->hide();
    m_btnPrevious->hide();
    m_btnNext->hide();
    m_wndTextPane->show();
}

void CDralvekStatic::SetStatusText(const CString& text) { m_wndStatusLine->setText(ToQString(text)); }

void CDralvekStatic::SetSqlText(const CString& text) { m_wndTextPane->setPlainText(ToQString(text)); }

void CDralvekStatic::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Layout(event->size().width(), event->size().height());
}

// The list fills the panel above a strip that holds the status line at the left and the
// two buttons at the right; the text pane lies on top of both. Only the layout changes
// here, never the status text.
void CDralvekStatic::Layout(int cx, int cy) {
    m_wndTextPane->setGeometry(0, 0, cx, cy);
    m_wndRecordList->setGeometry(0, 0, cx, std::max(0, cy - kBottomStrip));
    m_btnPrevious->setGeometry(cx - 120, cy - 31, 50, 25);
    m_btnNext->setGeometry(cx - 65, cy - 31, 50, 25);
    m_wndStatusLine->setGeometry(10, cy - 31, 490, 25);
}
