#include "compose/spell_install.h"

#include <QFile>
#include <QFileInfo>

#include "common/atomic_file.h"

namespace orv {

bool InstallMainDictionary(const QString& folder) {
    const QString target = folder + QLatin1String(kMainDictionaryFile);
    if (QFileInfo::exists(target)) return true;
    QFile delivered(QStringLiteral(":/dict/orv.dct"));
    if (!delivered.open(QIODevice::ReadOnly)) return false;
    return WriteFileAtomically(target, delivered.readAll());
}

}  // namespace orv
