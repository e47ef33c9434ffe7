#include "BuiltInSounds.h"
#include "TAudioManager.h"
#include "TestRegistry.h"

#include <QAudioDevice>
#include <QElapsedTimer>
#include <QFile>
#include <QMediaDevices>
#include <QTemporaryDir>
#include <QtEndian>
#include <thread>

class TestSound : public QObject
{
    Q_OBJECT
private slots:
    void indexAndNameRules();
    void errorsCarryTheOperationsPrefix();
    void defaultPlayerNeverBlocksOrCrashes();
    void builtInSounds_data();
    void builtInSounds();
};

void TestSound::indexAndNameRules()
{
    QStringList played;
    TAudioManager audio([&played](const QString& file) { played << file; });
    const QString folder = QStringLiteral("/data/Sounds/");
    for (const char* name :
         {"NewMove.wav", "NewPosition.wav", "Checkmate.wav", "CheckmateSelf.wav", "checkmate.WAV"})
        audio.AddSound(folder + QLatin1String(name));
    QCOMPARE(audio.GetSoundsCount(), 5);
    const TSoundRec* record = audio.GetSoundFromIndex(0);
    QVERIFY(record);
    QCOMPARE(record->SFilename, folder + "NewMove.wav");
    QCOMPARE(record->SName, "NewMove");
    QCOMPARE(record->SNameExt, "NewMove.wav");
    QCOMPARE(record->SID, 0);
    QVERIFY(!audio.GetSoundFromIndex(5));
    QVERIFY(!audio.GetSoundFromIndex(-1));

    // By name, letter case ignored, the first of equal names.
    QVERIFY(audio.PlaySound("newmove"));
    QVERIFY(audio.PlaySound("CHECKMATE"));
    QVERIFY(!audio.PlaySound("Check"));
    // By index; a board keeps -1 for a sound file it did not find.
    QVERIFY(audio.PlaySound(3));
    QVERIFY(!audio.PlaySound(-1));
    QVERIFY(!audio.PlaySound(5));
    QCOMPARE(played, QStringList({folder + "NewMove.wav", folder + "Checkmate.wav",
                                  folder + "CheckmateSelf.wav"}));

    // Deleting shifts later indexes down; indexes outside the list change nothing.
    audio.DeleteSound(1);
    QCOMPARE(audio.GetSoundFromIndex(1)->SName, "Checkmate");
    audio.DeleteSound(4);
    audio.DeleteSound(-1);
    QCOMPARE(audio.GetSoundsCount(), 4);
    audio.DeleteSound("CHECKMATE");
    QCOMPARE(audio.GetSoundsCount(), 3);
    QCOMPARE(audio.GetSoundFromIndex(1)->SName, "CheckmateSelf");
    QCOMPARE(audio.GetSoundFromIndex(2)->SNameExt, "checkmate.WAV");
    audio.DeleteSound("nothing");
    QCOMPARE(audio.GetSoundsCount(), 3);
}

void TestSound::errorsCarryTheOperationsPrefix()
{
    TAudioManager audio([](const QString&) { throw std::runtime_error("device lost"); });
    audio.AddSound("/s/NewMove.wav");
    try {
        audio.PlaySound(0);
        QFAIL("no error");
    } catch (const TAudioError& error) {
        QCOMPARE(QString::fromUtf8(error.what()), "[Unknown Name] : device lost");
    }
    try {
        audio.PlaySound("NEWMOVE");
        QFAIL("no error");
    } catch (const TAudioError& error) {
        QCOMPARE(QString::fromUtf8(error.what()), "[TAudioManager.PlaySound] : device lost");
    }
    // Nothing is played when nothing matches, so nothing can fail.
    QVERIFY(!audio.PlaySound(1));
}

void TestSound::defaultPlayerNeverBlocksOrCrashes()
{
    QTemporaryDir dir;
    QFile wav(dir.filePath("NewMove.wav"));
    QVERIFY(wav.open(QIODevice::WriteOnly));
    wav.write(BuiltInSounds::Data("NewMove"));
    wav.close();
    QFile junk(dir.filePath("Junk.wav"));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("RIFF not really");
    junk.close();

    TAudioManager audio;
    audio.AddSound(wav.fileName());
    audio.AddSound(dir.filePath("Missing.wav"));
    audio.AddSound(junk.fileName());
    QElapsedTimer clock;
    clock.start();
    for (int round = 0; round < 3; ++round)
        for (int i = 0; i < audio.GetSoundsCount(); ++i)
            QVERIFY(audio.PlaySound(i));
    // From another thread the call is handed to the UI thread.
    std::thread([&audio] { audio.PlaySound("newmove"); }).join();
    QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
    QTest::qWait(200); // let the handed-over call and any loading run
    if (QMediaDevices::audioOutputs().isEmpty())
        qInfo("no audio output on this machine: played silently");
}

void TestSound::builtInSounds_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("channels");
    QTest::addColumn<double>("seconds");
    QTest::newRow("NewMove") << "NewMove" << 1 << 0.24;
    QTest::newRow("NewPosition") << "NewPosition" << 2 << 0.71;
    QTest::newRow("Checkmate") << "Checkmate" << 1 << 1.68;
    QTest::newRow("CheckmateSelf") << "CheckmateSelf" << 1 << 2.09;
}

void TestSound::builtInSounds()
{
    QFETCH(QString, name);
    QFETCH(int, channels);
    QFETCH(double, seconds);
    const QByteArray wav = BuiltInSounds::Data(name);
    QVERIFY(wav.size() > 44);
    const auto u16 = [&wav](int at) { return qFromLittleEndian<quint16>(wav.constData() + at); };
    const auto u32 = [&wav](int at) { return qFromLittleEndian<quint32>(wav.constData() + at); };
    QCOMPARE(wav.left(4), "RIFF");
    QCOMPARE(u32(4), quint32(wav.size() - 8));
    QCOMPARE(wav.mid(8, 8), "WAVEfmt ");
    QCOMPARE(u16(20), 1); // PCM
    QCOMPARE(u16(22), channels);
    QCOMPARE(u32(24), 44100u);
    QCOMPARE(u16(34), 16);
    QCOMPARE(wav.mid(36, 4), "data");
    const double length = double(u32(40)) / (44100.0 * channels * 2);
    QVERIFY2(qAbs(length - seconds) < 0.01, qPrintable(QString::number(length)));
    QVERIFY(BuiltInSounds::Data("Other").isEmpty());
}

TAVLORA_REGISTER_TEST(TestSound);
#include "tst_sound.moc"
