#pragma once

#include <functional>
#include <memory>
#include <QString>
#include <stdexcept>
#include <vector>

// One registered sound.
struct TSoundRec
{
    QString SFilename; // the file as registered
    QString SName;     // file name without folder and extension: the key for lookups by name
    QString SNameExt;  // file name with extension, without folder
    int SID = 0;       // not set by the player
};

// Raised by TAudioManager; the text starts with the operation's name in brackets, then the
// message of the error that caused it.
class TAudioError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A list of WAV files played asynchronously by index or by name. Only one sound plays at a
// time in the whole program: a new one cuts off the one still playing.
class TAudioManager
{
public:
    // Starts playing one file and returns at once.
    using TPlayer = std::function<void(const QString& fileName)>;

    // Plays through the default player (PlayFile).
    TAudioManager();
    // Plays through another player, for example one that only records what it was asked.
    explicit TAudioManager(TPlayer player);
    ~TAudioManager();
    TAudioManager(const TAudioManager&) = delete;
    TAudioManager& operator=(const TAudioManager&) = delete;

    // Registers a file (not opened or checked) and gives its index.
    int AddSound(const QString& ASoundFile);
    // Removes the record at the index; an index outside the list changes nothing.
    void DeleteSound(int AIndex);
    // Removes the first record of that name (letter case ignored).
    void DeleteSound(const QString& AName);
    // Starts playing the record at the index; false when there is none.
    bool PlaySound(int AIndex);
    // Starts playing the first record of that name (letter case ignored); false when none.
    bool PlaySound(const QString& AName);
    int GetSoundsCount() const;
    // The record at the index, nullptr outside the list.
    const TSoundRec* GetSoundFromIndex(int Aindex) const;

    // The default player: Qt Multimedia on the UI thread (calls from other threads are handed
    // over to it). Silent when the machine has no audio output or the file cannot be played.
    static void PlayFile(const QString& fileName);

private:
    int IndexOfName(const QString& name) const;

    std::vector<std::unique_ptr<TSoundRec>> fSoundsList;
    TPlayer FPlayer;
};
