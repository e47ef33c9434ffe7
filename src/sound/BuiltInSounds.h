#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The sounds the program carries, written into the sound folder when they are missing there.
namespace BuiltInSounds {

// NewMove, NewPosition, Checkmate, CheckmateSelf, in this order.
QStringList Names();
// The WAV file of a built-in sound, empty for any other name.
QByteArray Data(const QString& name);

} // namespace BuiltInSounds
