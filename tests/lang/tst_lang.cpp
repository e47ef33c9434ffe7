#include "Lang.h"
#include "LangWidgets.h"
#include "TestRegistry.h"
#include "TextFile.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStringDecoder>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>

namespace {

QStringList Keys(const QByteArray& table)
{
    QStringList keys;
    for (const QString& line : TextFile::SplitLines(QString::fromUtf8(table)))
        if (line.contains(u'=')) keys << line.left(line.indexOf(u'='));
    return keys;
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QVERIFY(TextFile::WriteBytes(path, bytes));
}

} // namespace

class TestLang : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void builtInTablesAreComplete();
    void builtInTexts_data();
    void builtInTexts();
    void lookupRules();
    void loadFallbacks_data();
    void loadFallbacks();
    void fillLanguageListRewritesFiles();
    void choiceRule_data();
    void choiceRule();
    void applyFormToControls();
    void applyFrameByPrefix();

private:
    std::unique_ptr<QTemporaryDir> FDir;
    QString FFolder;
};

void TestLang::init()
{
    FDir = std::make_unique<QTemporaryDir>();
    FFolder = FDir->path() + u'/';
    SetLanguageFolder(FFolder);
}

void TestLang::builtInTablesAreComplete()
{
    const QByteArray en = BuiltInLanguageTable("en_lng");
    const QByteArray ru = BuiltInLanguageTable("ru_lng");
    for (const QByteArray& table : {en, ru}) {
        QVERIFY(!table.startsWith("\xEF\xBB\xBF"));
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString text = utf8(table);
        QVERIFY(!utf8.hasError());
        QVERIFY(text.endsWith("\r\n"));
        QCOMPARE(text.count("\r\n"), text.count(u'\n')); // CR LF everywhere
        for (const QString& line : TextFile::SplitLines(text))
            if (line.contains(u'='))
                QVERIFY2(line.size() > line.indexOf(u'=') + 1, qPrintable(line));
    }
    QStringList enKeys = Keys(en);
    QStringList ruKeys = Keys(ru);
    QCOMPARE(enKeys.size(), 235);
    QCOMPARE(ruKeys.size(), 235);
    QCOMPARE(enKeys.removeDuplicates(), 0);
    QCOMPARE(ruKeys.removeDuplicates(), 0);
    // The same keys in the same order, but for the one the Russian table names differently.
    ruKeys.replace(ruKeys.indexOf("frmConfig_tabRegims"), "frmConfig_tabModes");
    QCOMPARE(ruKeys, enKeys);
    QVERIFY(!TextFile::SplitLines(QString::fromUtf8(ru)).first().contains(u'='));
    QCOMPARE(BuiltInLanguageTable("lng_list"), "en_lng=en.lng\r\nru_lng=ru.lng\r\n");
    QVERIFY(BuiltInLanguageTable("de_lng").isEmpty());
}

void TestLang::builtInTexts_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("russian");
    QTest::newRow("name") << "NameLanguage"
                          << "English (English) - en" << QStringLiteral("Русский (Russian) - ru");
    QTest::newRow("final blank") << "DataToSend"
                                 << "Files to send - " << QStringLiteral("Файлов для отправки - ");
    QTest::newRow("hint only") << "frmMain_btnSettings"
                               << "Settings" << QStringLiteral("|Настройки");
    QTest::newRow("text and hint") << "frStudentBoard_lblStudent"
                                   << "Student|Student working with tables"
                                   << QStringLiteral("Ученик|Ученик занимающийся на доске");
    QTest::newRow("start-up step") << "ProcessLoad_LoadConfigStart"
                                   << "Loading parametres" << QStringLiteral("Загрузка параметров");
    QTest::newRow("two blanks") << "frmRegister_gpEnterEMail"
                                << "By  e-mail" << QStringLiteral("По e-mail");
}

void TestLang::builtInTexts()
{
    QFETCH(QString, key);
    QFETCH(QString, english);
    QFETCH(QString, russian);
    LoadLanguage("en"); // no files: the built-in English table
    QCOMPARE(LangValue(key), english);
    QVERIFY(FillLanguageList(*std::make_unique<QStringList>()));
    LoadLanguage("ru");
    QCOMPARE(ActiveLanguageCode(), "ru");
    QCOMPARE(LangValue(key), russian);
}

void TestLang::lookupRules()
{
    WriteFile(FFolder + "xx.lng", "free text line\r\n"
                                  "First=one\r\n"
                                  "FIRST=second line of the same key\r\n"
                                  "Empty=\r\n"
                                  "Formula=a=b\r\n"
                                  "\r\n"
                                  "Blank=ends with a blank \r\n");
    LoadLanguage("xx");
    QCOMPARE(ActiveLanguageCode(), "xx");
    QCOMPARE(Lang("first"), "one");
    QCOMPARE(Lang("formula"), "a=b");
    QCOMPARE(Lang("Blank"), "ends with a blank ");
    QCOMPARE(Lang("Empty"), "Empty");
    QCOMPARE(Lang("NotThere"), "NotThere");
    QCOMPARE(Lang("free text line"), "free text line");
    QCOMPARE(LangValue("NotThere"), QString());

    LoadLanguage("en");
    QCOMPARE(Lang("datatosend"), "Files to send - ");
    QCOMPARE(Lang("RoomBoard"), "Room board");
}

void TestLang::loadFallbacks_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QByteArray>("deFile"); // written as de.lng when not empty
    QTest::addColumn<QByteArray>("enFile"); // written as en.lng when not empty
    QTest::addColumn<QString>("activeCode");
    QTest::addColumn<QString>("nameLanguage");
    const QByteArray ownEnglish = "NameLanguage=Edited English - en\r\n";
    QTest::newRow("de present") << "de" << QByteArray("NameLanguage=Deutsch - de\r\n")
                                << QByteArray() << "de"
                                << "Deutsch - de";
    QTest::newRow("de missing, en.lng present") << "de" << QByteArray() << ownEnglish << "en"
                                                << "Edited English - en";
    QTest::newRow("no files: built-in") << "de" << QByteArray() << QByteArray() << "en"
                                        << "English (English) - en";
    QTest::newRow("de.lng without a key=value line")
        << "de" << QByteArray("only\r\nfree text\r\n") << QByteArray() << "en"
        << "English (English) - en";
    QTest::newRow("invalid UTF-8 keeps the good lines")
        << "de" << QByteArray("Bad=\xC3\x28\xFF\r\nNameLanguage=Deutsch - de\r\n") << QByteArray()
        << "de"
        << "Deutsch - de";
    QTest::newRow("empty code") << "" << QByteArray() << ownEnglish << "en"
                                << "Edited English - en";
    QTest::newRow("code leading out of the folder")
        << "../de" << QByteArray("NameLanguage=Deutsch - de\r\n") << QByteArray() << "en"
        << "English (English) - en";
}

void TestLang::loadFallbacks()
{
    QFETCH(QString, code);
    QFETCH(QByteArray, deFile);
    QFETCH(QByteArray, enFile);
    QFETCH(QString, activeCode);
    QFETCH(QString, nameLanguage);
    if (!deFile.isEmpty()) WriteFile(FFolder + "de.lng", deFile);
    if (!enFile.isEmpty()) WriteFile(FFolder + "en.lng", enFile);
    LoadLanguage(code);
    QCOMPARE(ActiveLanguageCode(), activeCode);
    QCOMPARE(Lang("NameLanguage"), nameLanguage);
    if (QTest::currentDataTag() == QLatin1String("invalid UTF-8 keeps the good lines"))
        QVERIFY(Lang("Bad").contains(QChar::ReplacementCharacter));
}

void TestLang::fillLanguageListRewritesFiles()
{
    WriteFile(FFolder + "en.lng", "NameLanguage=Edited by the user - en\r\n");
    WriteFile(FFolder + "de.lng", "NameLanguage=Deutsch - de\r\n");
    QStringList items{"stale"};
    QVERIFY(FillLanguageList(items));
    QCOMPARE(items,
             QStringList({"English (English) - en", QStringLiteral("Русский (Russian) - ru")}));
    QCOMPARE(LanguageCodeOfItem(items[1]), "ru");
    for (const char* name : {"en", "ru"}) {
        QFile file(FFolder + name + ".lng");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), BuiltInLanguageTable(QString::fromLatin1(name) + "_lng"));
    }
    LoadLanguage("en");
    QCOMPARE(Lang("NameLanguage"), "English (English) - en");

    // A folder that cannot be written stops the filling.
    SetLanguageFolder(FFolder + "missing/");
    QVERIFY(!FillLanguageList(items));
    QVERIFY(items.isEmpty());
}

void TestLang::choiceRule_data()
{
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("index");
    const QStringList builtIn = {"English (English) - en",
                                 QStringLiteral("Русский (Russian) - ru")};
    QTest::newRow("ru") << builtIn << "ru" << 1;
    QTest::newRow("en") << builtIn << "en" << 0;
    QTest::newRow("de falls back to en") << builtIn << "de" << 0;
    QTest::newRow("empty code falls back to en") << builtIn << "" << 0;
    QTest::newRow("the last of equal codes")
        << QStringList({"A - ru", "English - en", "B - ru"}) << "ru" << 2;
    QTest::newRow("code only counts at the end")
        << QStringList({"ru first - en", "Deutsch - de"}) << "ru" << 0;
    QTest::newRow("no en either") << QStringList({"Deutsch - de"}) << "fr" << -1;
}

void TestLang::choiceRule()
{
    QFETCH(QStringList, items);
    QFETCH(QString, code);
    QFETCH(int, index);
    QCOMPARE(FindLanguageItem(items, code), index);
}

void TestLang::applyFormToControls()
{
    WriteFile(FFolder + "xx.lng", "frmTest=Test window\r\n"
                                  "frmTest_btnClose=|Close board\r\n"
                                  "frmTest_lblSolved=Solved|Count solved tasks\r\n"
                                  "frmTest_lblPlain=Plain\r\n"
                                  "frmTest_edtCode=<Code>\r\n"
                                  "frmTest_grpBox=Group\r\n"
                                  "frmTest_cbCheck=Check|\r\n"
                                  "frmTest_rbRadio=Radio\r\n"
                                  "frmTest_sbTool=|Tool hint|ignored third part\r\n"
                                  "frmTest_mnuMenu=Menu\r\n"
                                  "frmTest_mnuItem=Item|Item hint\r\n"
                                  "frmTest_tabMain=Main|Main tab\r\n"
                                  "frmTest_lblInFrame=must not reach the frame\r\n"
                                  "frmTest_lblInDialog=must not reach the dialog\r\n");
    LoadLanguage("xx");

    QWidget form;
    form.setObjectName("frmTest");
    form.setWindowTitle("design caption");
    auto make = [&form](auto* widget, const char* name, QWidget* parent = nullptr) {
        widget->setParent(parent ? parent : &form);
        widget->setObjectName(QString::fromLatin1(name));
        return widget;
    };
    auto* close = make(new QPushButton("X"), "btnClose");
    close->setToolTip("old hint");
    auto* solved = make(new QLabel("design"), "lblSolved");
    auto* plain = make(new QLabel("design"), "lblPlain");
    plain->setToolTip("kept");
    auto* untranslated = make(new QLabel("design text"), "lblNoKey");
    auto* group = make(new QGroupBox("g"), "grpBox");
    auto* edit = make(new QLineEdit, "edtCode", group); // nested in a group box
    auto* check = make(new QCheckBox("c"), "cbCheck");
    check->setToolTip("old");
    auto* radio = make(new QRadioButton("r"), "rbRadio");
    auto* tool = make(new QToolButton, "sbTool");
    auto* menu = make(new QMenu, "mnuMenu");
    auto* item = menu->addAction("i");
    item->setObjectName("mnuItem");
    auto* tabs = make(new QTabWidget, "tcTabs");
    auto* page = new QWidget;
    page->setObjectName("tabMain");
    tabs->addTab(page, "design tab");
    auto* frame = make(new QWidget, "frInner");
    auto* inFrame = make(new QLabel("frame text"), "lblInFrame", frame);
    auto* dialog = new QDialog(&form);
    dialog->setObjectName("dlgChild");
    auto* inDialog = make(new QLabel("dialog text"), "lblInDialog", dialog);

    ApplyForm(&form);
    QCOMPARE(form.windowTitle(), "Test window");
    QCOMPARE(close->text(), "");
    QCOMPARE(close->toolTip(), "Close board");
    QCOMPARE(solved->text(), "Solved");
    QCOMPARE(solved->toolTip(), "Count solved tasks");
    QCOMPARE(plain->text(), "Plain");
    QCOMPARE(plain->toolTip(), "kept"); // no "|": the hint is not touched
    QCOMPARE(untranslated->text(), "design text");
    QCOMPARE(edit->placeholderText(), "<Code>");
    QCOMPARE(edit->text(), "");
    QCOMPARE(group->title(), "Group");
    QCOMPARE(check->text(), "Check");
    QCOMPARE(check->toolTip(), ""); // an empty hint is not shown
    QCOMPARE(radio->text(), "Radio");
    QCOMPARE(tool->toolTip(), "Tool hint");
    QCOMPARE(menu->title(), "Menu");
    QCOMPARE(item->text(), "Item");
    QCOMPARE(item->toolTip(), "Item hint");
    QCOMPARE(tabs->tabText(0), "Main");
    QCOMPARE(tabs->tabToolTip(0), "Main tab");
    QCOMPARE(inFrame->text(), "frame text");
    QCOMPARE(inDialog->text(), "dialog text");

    // A window without a caption key gets an empty caption.
    form.setObjectName("frmOther");
    ApplyForm(&form);
    QCOMPARE(form.windowTitle(), "");
}

void TestLang::applyFrameByPrefix()
{
    LoadLanguage("en"); // the built-in table
    QWidget frame;
    frame.setObjectName("frStudentBoard_12");
    auto* close = new QPushButton("X", &frame);
    close->setObjectName("btnCloseBoard");
    auto* student = new QLabel("design", &frame);
    student->setObjectName("lblStudent");
    auto* menu = new QMenu(&frame);
    QAction* best = menu->addAction("design");
    best->setObjectName("mnuFindBestMove");
    frame.setWindowTitle("none");

    ApplyFrame(&frame);
    QCOMPARE(close->text(), "");
    QCOMPARE(close->toolTip(), "Close board");
    QCOMPARE(student->text(), "Student");
    QCOMPARE(student->toolTip(), "Student working with tables");
    QCOMPARE(best->text(), "Find Best Move");
    QCOMPARE(frame.windowTitle(), "none"); // a frame has no caption

    QVERIFY(FillLanguageList(*std::make_unique<QStringList>()));
    LoadLanguage("ru");
    ApplyFrame(&frame);
    QCOMPARE(close->toolTip(), QStringLiteral("Закрыть доску"));
    QCOMPARE(student->text(), QStringLiteral("Ученик"));
}

TAVLORA_REGISTER_TEST(TestLang);
#include "tst_lang.moc"
