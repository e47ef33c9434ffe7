// The synchronisation window and the progress window, driven under the offscreen platform:
// the window runs its steps against the real service and closes itself; the progress window
// follows a real collection load.
#include "Lang.h"
#include "SyncFixture.h"
#include "TActivityIndicator.h"
#include "TChessCollection.h"
#include "TestRegistry.h"
#include "TfrmSynhronize.h"
#include "TfrmViewProcess.h"

#include <QLabel>
#include <QProgressBar>
#include <QTimer>

using namespace SyncFixture;
using namespace Qt::Literals::StringLiterals;

class TestSyncWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void runsItsStepsAndClosesItself();

private:
    TServiceProcess FService;
};

void TestSyncWindow::initTestCase()
{
    QVERIFY2(FService.Start(), qPrintable(FService.Log()));
    static QTemporaryDir languages;
    SetLanguageFolder(languages.path() + u'/');
    LoadLanguage(u"en"_s);
}

void TestSyncWindow::runsItsStepsAndClosesItself()
{
    THolder h(FService.ApiBase());
    QVERIFY(h.SignIn(FService, u"window@school.example"_s));
    const QByteArray collection = Content(false, "tasks"), room = Content(true, "lesson");
    const QString collectionId = PutOnServer(h.Client(), false, collection);
    const QString roomId = PutOnServer(h.Client(), true, room);
    QVERIFY(!collectionId.isEmpty() && !roomId.isEmpty());

    TfrmSynhronize window(*h.Config);
    QCOMPARE(window.objectName(), u"frmSynhronize"_s);
    QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(window.windowFlags() & Qt::Tool, Qt::Tool);
    QCOMPARE(window.size(), QSize(517, 50));
    auto* timer = window.findChild<QTimer*>(u"TimerStart"_s);
    auto* label = window.findChild<QLabel*>(u"lblCurrentStep"_s);
    auto* bar = window.findChild<QProgressBar*>(u"pbStep"_s);
    auto* indicator = window.findChild<TActivityIndicator*>(u"aniView"_s);
    QVERIFY(timer && label && bar && indicator);
    QCOMPARE(timer->interval(), 500);
    QVERIFY(!timer->isActive());
    QCOMPARE(indicator->size(), QSize(50, 50));
    QCOMPARE(bar->height(), 25);

    window.Synchronizer().setStepSpacingMs(10);
    QStringList texts;
    QTimer watch;
    watch.setInterval(1);
    connect(&watch, &QTimer::timeout, this, [&] {
        if (window.isVisible() && (texts.isEmpty() || texts.last() != label->text()))
            texts.append(label->text());
    });
    watch.start();
    // A window that never closes fails here instead of hanging.
    QTimer::singleShot(20000, &window, &QDialog::reject);

    for (int showing = 1; showing <= 2; ++showing) {
        texts.clear();
        QFile::remove(h.Collections() + collectionId + ".tvl");
        QCOMPARE(window.exec(), int(QDialog::Accepted));
        QVERIFY(!window.isVisible());
        QVERIFY(!timer->isActive());
        QVERIFY(window.Synchronizer().Finished());
        // Each showing runs every step from the start.
        QCOMPARE(texts.value(0), QString()); // the label starts empty
        QVERIFY2(texts.contains(u"Ask count collections"_s), qPrintable(texts.join(" | ")));
        QVERIFY2(texts.contains(u"Geting list rooms"_s), qPrintable(texts.join(" | ")));
        QCOMPARE(ReadAll(h.Collections() + collectionId + ".tvl"), collection);
        QCOMPARE(ReadAll(h.Rooms() + roomId + ".room"), room);
    }
    QVERIFY(QFile::exists(h.Data() + "collestions.json"));
}

class TestViewProcess : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void showsStepsAndLabels();
    void followsACollectionLoad();
};

void TestViewProcess::initTestCase()
{
    static QTemporaryDir languages;
    SetLanguageFolder(languages.path() + u'/');
    LoadLanguage(u"en"_s);
}

void TestViewProcess::showsStepsAndLabels()
{
    TfrmViewProcess window;
    QCOMPARE(window.objectName(), u"frmViewProcess"_s);
    QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(window.size(), QSize(535, 51));
    auto* bar = window.findChild<QProgressBar*>(u"pbStep"_s);
    auto* label = window.findChild<QLabel*>(u"lblInfo"_s);
    auto* indicator = window.findChild<TActivityIndicator*>(u"aniView"_s);
    QVERIFY(bar && label && indicator);
    QVERIFY(!window.isVisible());

    IViewProcess& view = window;
    view.ShowProcess(3);
    QVERIFY(window.isVisible());
    QVERIFY(indicator->Animating());
    QCOMPARE(bar->maximum(), 3);
    QCOMPARE(bar->value(), 0);
    view.SetInfo(u"Loaded 2 lines"_s);
    QCOMPARE(label->text(), u"Loaded 2 lines"_s);
    for (int i = 0; i < 4; ++i)
        view.StepProcess();
    QCOMPARE(bar->value(), 3); // held at the maximum
    view.HideProcess();
    QVERIFY(!window.isVisible());
    QVERIFY(!indicator->Animating());

    // Shown again for the next task, from 0.
    view.ShowProcess(10);
    QCOMPARE(bar->value(), 0);
    QCOMPARE(bar->maximum(), 10);
    view.HideProcess();

    // Nothing to do still shows a bar, not a busy indicator (a 0..0 range).
    view.ShowProcess(0);
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 1);
    view.HideProcess();
}

void TestViewProcess::followsACollectionLoad()
{
    QTemporaryDir dir;
    QFile::copy(QStringLiteral(TAVLORA_FIXTURES "/collections/mixed.tvl"),
                dir.filePath(u"1700000000001.tvl"_s));
    QStringList lines;
    QVERIFY(TextFile::ReadLines(dir.filePath(u"1700000000001.tvl"_s), lines));

    TfrmViewProcess window;
    auto* bar = window.findChild<QProgressBar*>(u"pbStep"_s);
    auto* label = window.findChild<QLabel*>(u"lblInfo"_s);
    TChessCollection collection(dir.path());
    collection.setViewProcess(&window);
    // The window is up while the collection loads; the load lets the UI run in between.
    bool shownDuringLoad = false;
    QTimer::singleShot(0, &window, [&] { shownDuringLoad = window.isVisible(); });
    QVERIFY(collection.LoadCollection(1700000000001));

    QVERIFY(shownDuringLoad);
    QVERIFY(!window.isVisible());
    QCOMPARE(bar->maximum(), lines.size());
    QCOMPARE(bar->value(), lines.size());
    QCOMPARE(label->text(), u"Loaded %1 lines"_s.arg(collection.GetCount()));
}

TAVLORA_REGISTER_TEST(TestSyncWindow);
TAVLORA_REGISTER_TEST(TestViewProcess);
#include "tst_windows.moc"
