#include "platform/ui/ToolTipCtrl.h"

#include <QTextDocument>
#include <QToolTip>
#include <QWidget>

UINT CToolTipCtrl::ToolAt(QPoint point) const {
    for (const auto& [id, rect] : m_tools) {
        if (rect.contains(point)) return id;
    }
    return 0;
}

QRect CToolTipCtrl::GetToolRect(UINT id) const {
    auto it = m_tools.find(id);
    return it == m_tools.end() ? QRect() : it->second;
}

void CToolTipCtrl::Show(QPoint globalPos, const QString& text, UINT toolId) {
    m_strLastText = text;
    if (text.isEmpty()) {
        Hide();
        return;
    }
    QToolTip::showText(globalPos, FormatTip(text, m_nMaxTipWidth), m_pOwner, GetToolRect(toolId));
}

QString CToolTipCtrl::FormatTip(const QString& text, int maxWidth) {
    // Escaped and wrapped as a paragraph, so a name that looks like markup stays text and
    // long tips wrap at the maximum width.
    QString shown = Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
    if (maxWidth > 0) shown = QStringLiteral("<div style='max-width:%1px'>%2</div>").arg(maxWidth).arg(shown);
    return shown;
}

void CToolTipCtrl::Hide() {
    m_strLastText.clear();
    QToolTip::hideText();
}
