#include "app/AboutDlg.h"

#include <memory>

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QWindow>

#include "app/WindowImages.h"
#include "app/WindowTexts.h"
#include "platform/ui/QtText.h"

namespace {

constexpr const char16_t* kNoticeLine = u"Source files are only ever read.";
constexpr const char16_t* kAboutText =
    u"Recovers MySQL databases from the files a server leaves on disk: table definitions, "
    u"MyISAM and InnoDB tables, views and triggers, with no server running.";

QLabel* PlainLabel(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    return label;
}

}  // namespace

// The box's template is 263 x 175 dialog units; at the usual 1.5 x 1.625 pixels per unit
// that is 395 x 284.
CDralvekAboutDlg::CDralvekAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("aboutBox"));
    setFixedSize(395, 284);
    m_fontTitle = QFont(QStringLiteral("Arial"));
    m_fontTitle.setStyleHint(QFont::SansSerif);
    m_fontTitle.setPixelSize(15);
    m_fontTitle.setWeight(QFont::DemiBold);

    auto* banner = new QLabel(this);
    banner->setObjectName(QStringLiteral("banner"));
    banner->setPixmap(ResourceImage(IDB_ABOUT_BANNER));
    banner->setGeometry(0, 0, 395, 85);

    m_staticTitle = PlainLabel(this, "title");
    m_staticTitle->setGeometry(24, 94, 350, 22);
    m_staticTitle->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);

    m_staticAbout = PlainLabel(this, "aboutText");
    m_staticAbout->setGeometry(16, 124, 363, 80);
    m_staticAbout->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_staticAbout->setWordWrap(true);

    m_staticNotice = PlainLabel(this, "notice");
    m_staticNotice->setGeometry(12, 208, 371, 22);
    m_staticNotice->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);

    m_staticSeparator = new QLabel(this);
    m_staticSeparator->setFrameShape(QFrame::HLine);
    m_staticSeparator->setFrameShadow(QFrame::Sunken);
    m_staticSeparator->setGeometry(32, 236, 331, 4);

    m_btnOK = new QPushButton(QStringLiteral("OK"), this);
    m_btnOK->setObjectName(QStringLiteral("ok"));
    m_btnOK->setGeometry(160, 248, 75, 26);
    // Not a default button: Enter on it does not press it.
    m_btnOK->setAutoDefault(false);
    m_btnOK->setDefault(false);
    connect(m_btnOK, &QPushButton::clicked, this, [this] {
        m_bClosingByOk = true;
        accept();
        m_bClosingByOk = false;
    });
}

void CDralvekAboutDlg::OnInitDialog() {
    m_staticNotice->setText(ToQString(kNoticeLine));
    m_staticNotice->setFont(m_fontTitle);
    m_staticTitle->setText(ToQString(kProductCaption));
    m_staticTitle->setFont(m_fontTitle);
    m_staticAbout->setText(ToQString(kAboutText));
    setWindowTitle(ToQString(kProductCaption));
}

void CDralvekAboutDlg::showEvent(QShowEvent* event) {
    OnInitDialog();
    QDialog::showEvent(event);
}

void CDralvekAboutDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape: event->accept(); return;
    default: QDialog::keyPressEvent(event);
    }
}

void CDralvekAboutDlg::closeEvent(QCloseEvent* event) {
    if (m_bClosingByOk)
        QDialog::closeEvent(event);
    else
        event->ignore();
}

void CDralvekAboutDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && windowHandle()) {
        windowHandle()->startSystemMove();
        event->accept();
        return;
    }
    QDialog::mousePressEvent(event);
}

namespace {
std::unique_ptr<CDralvekAboutDlg>& AboutHolder() {
    static std::unique_ptr<CDralvekAboutDlg> dialog;
    return dialog;
}
}  // namespace

CDralvekAboutDlg& TheAboutDialog() {
    auto& dialog = AboutHolder();
    if (!dialog) dialog = std::make_unique<CDralvekAboutDlg>();
    return *dialog;
}

void DestroyGlobalDialogs() { AboutHolder().reset(); }
