#include "platform/ui/NamedMutex.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QStandardPaths>

namespace {

// A mutex name holds characters a file name cannot ("Global\{...}").
QString FileNameFor(const QString& name) {
    QString file = name;
    for (QChar& c : file)
        if (c == QLatin1Char('\\') || c == QLatin1Char('/')) c = QLatin1Char('_');
    return file + QStringLiteral(".lock");
}

}  // namespace

CNamedMutex::CNamedMutex(const QString& name) {
    // Without a runtime folder the temporary folder holds it (Qt would warn and pick one).
    QString folder = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")
                         ? QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)
                         : QString();
    if (folder.isEmpty()) folder = QDir::tempPath();
    m_path = folder + QLatin1Char('/') + FileNameFor(name);
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
}

CNamedMutex::~CNamedMutex() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}
