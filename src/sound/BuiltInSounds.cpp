#include "BuiltInSounds.h"

#include <QFile>

namespace BuiltInSounds {

QStringList Names()
{
    return {QStringLiteral("NewMove"), QStringLiteral("NewPosition"), QStringLiteral("Checkmate"),
            QStringLiteral("CheckmateSelf")};
}

QByteArray Data(const QString& name)
{
    if (!Names().contains(name)) return QByteArray();
    QFile file(QStringLiteral(":/sounds/") + name + QStringLiteral(".wav"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace BuiltInSounds
