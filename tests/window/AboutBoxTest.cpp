#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "app/AboutDlg.h"
#include "WindowTestSupport.h"

namespace {

void Press(QWidget* target, int key) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &down);
    QApplication::sendEvent(target, &up);
}

}  // namespace

TEST(AboutBox, TextsAndOnlyOkClosesIt) {
    FrameFixture f;
    bool inspected = false;
    f.prompts.onDialog = [&](QDialog& dialog) {
        auto& about = static_cast<CDralvekAboutDlg&>(dialog);
        about.show();
        EXPECT_EQ(about.windowTitle(), QStringLiteral("Dralvek RaDAZ Idevurod Orerudiz v22.08"));
        EXPECT_EQ(about.m_staticTitle->text(), QStringLiteral("Dralvek RaDAZ Idevurod Orerudiz v22.08"));
        EXPECT_EQ(about.m_staticTitle->font().weight(), QFont::DemiBold);
        EXPECT_FALSE(about.m_staticNotice->text().isEmpty());
        EXPECT_EQ(about.m_btnOK->text(), QStringLiteral("OK"));
        // The program has no web site or mail address, so the box shows no link.
        for (QLabel* label : about.findChildren<QLabel*>()) {
            EXPECT_FALSE(label->text().contains(QStringLiteral("http"))) << label->text().toStdString();
            EXPECT_FALSE(label->text().contains(QStringLiteral("mailto"))) << label->text().toStdString();
        }
        // Enter and Escape, on the box and on its button, close nothing.
        for (QWidget* target : {static_cast<QWidget*>(&about), static_cast<QWidget*>(about.m_btnOK)})
            for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
                Press(target, key);
                EXPECT_TRUE(about.isVisible()) << "key " << key;
            }
        // Nor does the caption's close.
        about.close();
        EXPECT_TRUE(about.isVisible());
        about.m_btnOK->click();
        EXPECT_FALSE(about.isVisible());
        EXPECT_EQ(about.result(), QDialog::Accepted);
        inspected = true;
        return about.result();
    };
    f.frame->OnAbout();
    EXPECT_TRUE(inspected);
    // The same box again, with its texts set afresh.
    inspected = false;
    f.frame->OnAbout();
    EXPECT_TRUE(inspected);
    EXPECT_EQ(f.prompts.Count("dialog"), 2);
    EXPECT_EQ(&TheAboutDialog(), &TheAboutDialog());
    DestroyGlobalDialogs();
}
