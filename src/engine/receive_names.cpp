#include "engine/receive_names.h"

#include "common/orv_error.h"
#include "images/apf_file.h"

#include <QFile>
#include <QFileInfo>

namespace orv {

QString JoinFolder(const QString& dir, const QString& name) {
    if (dir.isEmpty() || dir.endsWith(QLatin1Char('/'))) return dir + name;
    return dir + QLatin1Char('/') + name;
}

QString NextReceiveFileName(const QString& dir, int namingMode, const QString& extension, const QDate& today) {
    if (namingMode != 1 && namingMode != 2) return JoinFolder(dir, QStringLiteral("noname.apf"));
    const QString prefix = namingMode == 1 ? QStringLiteral("FAX")
                                           : QStringLiteral("%1%2").arg(today.month(), 2, 10, QChar('0'))
                                                 .arg(today.day(), 2, 10, QChar('0'));
    for (int n = 1; n <= 9999; ++n) {
        const QString name = JoinFolder(dir, QStringLiteral("%1%2.%3").arg(prefix).arg(n, 4, 10, QChar('0')).arg(extension));
        if (!QFileInfo::exists(name)) return name;
    }
    return JoinFolder(dir, QStringLiteral("NONAME.APF"));
}

QString FreeVariantOf(const QString& path) {
    if (!QFileInfo::exists(path)) return path;
    const QFileInfo info(path);
    const QString dir = path.left(path.size() - info.fileName().size());
    const QString base = info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    for (int n = 1;; ++n) {
        const QString candidate = dir + QStringLiteral("%1-%2%3").arg(base).arg(n).arg(suffix);
        if (!QFileInfo::exists(candidate)) return candidate;
    }
}

int ClaimNewFile(QString& path) {
    if (path.isEmpty()) return ecFileNotFound;
    // A few rounds cover another program creating the same names meanwhile.
    for (int round = 0; round < 100; ++round) {
        const QString candidate = FreeVariantOf(path);
        QFile f(candidate);
        if (f.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            f.close();
            path = candidate;
            return ecOK;
        }
        if (!QFileInfo::exists(candidate)) return FileErrorCode(f, ecDiskWrite);
    }
    return ecAccessDenied;
}

}  // namespace orv
