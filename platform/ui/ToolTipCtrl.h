#pragma once

#include "platform/ui/WinTypes.h"

#include <map>

#include <QRect>
#include <QString>

class QWidget;

// Tool tips over rectangles of one owner widget, shown through QToolTip. Texts are plain:
// whatever characters a name holds are shown as they are, never as markup.
class CToolTipCtrl {
public:
    explicit CToolTipCtrl(QWidget* owner) : m_pOwner(owner) {}
    QWidget* GetOwner() const { return m_pOwner; }

    void SetMaxTipWidth(int width) { m_nMaxTipWidth = width; }
    int GetMaxTipWidth() const { return m_nMaxTipWidth; }

    void AddTool(UINT id, const QRect& rect) { m_tools[id] = rect; }
    void DelTool(UINT id) { m_tools.erase(id); }
    int GetToolCount() const { return static_cast<int>(m_tools.size()); }
    // The tool whose rectangle holds the point (owner coordinates), 0 when none.
    UINT ToolAt(QPoint point) const;
    QRect GetToolRect(UINT id) const;

    // Shows text at a global position for as long as the pointer stays in the tool's
    // rectangle; an empty text hides the tip.
    void Show(QPoint globalPos, const QString& text, UINT toolId);
    void Hide();
    // What QToolTip is given for a plain text: escaped, wrapped at the maximum width.
    static QString FormatTip(const QString& text, int maxWidth);
    const QString& GetLastText() const { return m_strLastText; }

private:
    QWidget* m_pOwner;
    int m_nMaxTipWidth = -1;
    std::map<UINT, QRect> m_tools;
    QString m_strLastText;
};
