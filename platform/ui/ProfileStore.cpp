#include "platform/ui/ProfileStore.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include "platform/ui/QtText.h"

namespace {

QString& RootOverride() {
    static QString folder;
    return folder;
}

QString Key(const CString& section, const CString& entry) {
    return ToQString(section) + QLatin1Char('/') + ToQString(entry);
}

}  // namespace

void CProfileStore::SetRootFolder(const QString& folder) { RootOverride() = folder; }

QString CProfileStore::RootFolder() {
    if (!RootOverride().isEmpty()) return RootOverride();
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

CProfileStore::CProfileStore(const CString& registryKey, const CString& appName) {
    const QString folder = RootFolder() + QLatin1Char('/') + ToQString(registryKey);
    QDir().mkpath(folder);
    m_settings = std::make_unique<QSettings>(folder + QLatin1Char('/') + ToQString(appName) + QStringLiteral(".ini"),
                                             QSettings::IniFormat);
}

CProfileStore::~CProfileStore() = default;

QString CProfileStore::FilePath() const { return m_settings->fileName(); }

int CProfileStore::GetProfileInt(const CString& section, const CString& entry, int defaultValue) const {
    bool ok = false;
    const int value = m_settings->value(Key(section, entry)).toInt(&ok);
    return ok ? value : defaultValue;
}

bool CProfileStore::WriteProfileInt(const CString& section, const CString& entry, int value) {
    m_settings->setValue(Key(section, entry), value);
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}
