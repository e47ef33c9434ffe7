#include "TAudioManager.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMediaDevices>
#include <QPointer>
#include <QSoundEffect>
#include <QThread>
#include <QUrl>
#include <QUrlQuery>

Q_LOGGING_CATEGORY(lcSound, "tavlora.sound")

namespace {

// Runs an operation and gives any error it raises the operation's prefix.
template <typename F> auto Guarded(const char* prefix, F&& operation)
{
    try {
        return operation();
    } catch (const std::exception& error) {
        throw TAudioError(std::string(prefix) + error.what());
    } catch (...) {
        throw TAudioError(std::string(prefix) + "unknown error");
    }
}

} // namespace

TAudioManager::TAudioManager() : TAudioManager(&TAudioManager::PlayFile) {}

TAudioManager::TAudioManager(TPlayer player)
{
    Guarded("[TAudioManager.Create] : ", [&] {
        FPlayer = std::move(player);
        fSoundsList.reserve(4);
    });
}

TAudioManager::~TAudioManager()
{
    // A destructor cannot raise, so the error is only told.
    try {
        while (!fSoundsList.empty())
            fSoundsList.pop_back();
    } catch (const std::exception& error) {
        qCWarning(lcSound) << "[TAudioManager.Destroy] : " << error.what();
    }
}

int TAudioManager::AddSound(const QString& ASoundFile)
{
    return Guarded("[TAudioManager.AddSound] : ", [&] {
        auto record = std::make_unique<TSoundRec>();
        const QFileInfo info(ASoundFile);
        record->SFilename = ASoundFile;
        record->SName = info.completeBaseName();
        record->SNameExt = info.fileName();
        fSoundsList.push_back(std::move(record));
        return int(fSoundsList.size()) - 1;
    });
}

void TAudioManager::DeleteSound(int AIndex)
{
    Guarded("[TAudioManager.DeleteSound] : ", [&] {
        if (AIndex >= 0 && AIndex < int(fSoundsList.size()))
            fSoundsList.erase(fSoundsList.begin() + AIndex);
    });
}

void TAudioManager::DeleteSound(const QString& AName)
{
    Guarded("[TAudioManager.PlaySound] : ", [&] {
        const int index = IndexOfName(AName);
        if (index >= 0) fSoundsList.erase(fSoundsList.begin() + index);
    });
}

bool TAudioManager::PlaySound(int AIndex)
{
    return Guarded("[Unknown Name] : ", [&] {
        if (AIndex < 0 || AIndex >= int(fSoundsList.size())) return false;
        if (FPlayer) FPlayer(fSoundsList[size_t(AIndex)]->SFilename);
        return true;
    });
}

bool TAudioManager::PlaySound(const QString& AName)
{
    return Guarded("[TAudioManager.PlaySound] : ", [&] {
        const int index = IndexOfName(AName);
        if (index < 0) return false;
        if (FPlayer) FPlayer(fSoundsList[size_t(index)]->SFilename);
        return true;
    });
}

int TAudioManager::GetSoundsCount() const
{
    return int(fSoundsList.size());
}

const TSoundRec* TAudioManager::GetSoundFromIndex(int Aindex) const
{
    if (Aindex < 0 || Aindex >= int(fSoundsList.size())) return nullptr;
    return fSoundsList[size_t(Aindex)].get();
}

int TAudioManager::IndexOfName(const QString& name) const
{
    for (size_t i = 0; i < fSoundsList.size(); ++i)
        if (fSoundsList[i]->SName.compare(name, Qt::CaseInsensitive) == 0) return int(i);
    return -1;
}

void TAudioManager::PlayFile(const QString& fileName)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    if (QThread::currentThread() != app->thread()) {
        QMetaObject::invokeMethod(
            app, [fileName] { PlayFile(fileName); }, Qt::QueuedConnection);
        return;
    }
    // Without an output device the audio stack has nothing to open; stay silent.
    const QAudioDevice output = QMediaDevices::defaultAudioOutput();
    if (output.isNull() || QMediaDevices::audioOutputs().isEmpty()) {
        qCDebug(lcSound) << "no audio output, not playing" << fileName;
        return;
    }
    const QFileInfo info(fileName);
    if (!info.isFile()) {
        qCDebug(lcSound) << "no such sound file" << fileName;
        return;
    }
    // One effect for the whole program, so a new sound cuts off the last one.
    static QPointer<QSoundEffect> effect;
    if (!effect) {
        effect = new QSoundEffect(output, app);
        QObject::connect(effect, &QSoundEffect::statusChanged, effect, [] {
            if (effect && effect->status() == QSoundEffect::Error)
                qCInfo(lcSound) << "cannot play" << effect->source();
        });
    } else if (effect->audioDevice() != output) {
        effect->setAudioDevice(output);
    }
    // Samples are cached by address: the file's time and size in it make a replaced file
    // load anew.
    QUrl source = QUrl::fromLocalFile(info.absoluteFilePath());
    source.setQuery(
        QStringLiteral("v=%1-%2").arg(info.lastModified().toMSecsSinceEpoch()).arg(info.size()));
    effect->stop();
    effect->setSource(source);
    effect->play();
}
