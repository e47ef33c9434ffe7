// The sign-in dialogs, driven like a user drives them, against the real service.

#include "Lang.h"
#include "ModalDriver.h"
#include "ServerFixture.h"
#include "TestRegistry.h"
#include "TfrmEnterCheckCode.h"
#include "TfrmRegister.h"
#include "TSignInDialogs.h"

#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>

using namespace ServerFixture;
using namespace Drive;
using TStep = TModalDriver::TStep;

namespace {

// The steps that leave each dialog.
TStep Abort()
{
    return {"frmEnterCheckCode", [](QDialog* d) { Click(d, "btnBreak"); }};
}

TStep Nothing(const QString& dialog)
{
    return {dialog, {}};
}

} // namespace

class TestSignIn : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void texts_data();
    void texts();
    void geometryAndFlags();
    void storedIdentityShowsNoDialog();
    void refusedToken_data();
    void refusedToken();
    void codeWay_data();
    void codeWay();
    void eMailWay_data();
    void eMailWay();
    void messageBoxIsClosable();

private:
    struct TRun
    {
        bool Connected = false;
        QStringList Messages;
        QStringList Shown;
        QStringList Errors;
    };
    // Connect with the real dialogs, the driver answering them.
    TRun Connect(TTVLApiClient& client, QList<TStep> steps, bool recordMessages = true);
    QString NewEMail() { return QStringLiteral("user%1@school.example").arg(++FAccounts); }

    TServiceProcess FService;
    TServiceProcess FOpenService;
    int FAccounts = 0;
};

void TestSignIn::initTestCase()
{
    QVERIFY2(FService.Start(), qPrintable(FService.Log()));
    QVERIFY2(FOpenService.Start({"--open-registration"}), qPrintable(FOpenService.Log()));
    LoadLanguage("en"); // the built-in English table
}

TestSignIn::TRun TestSignIn::Connect(TTVLApiClient& client, QList<TStep> steps, bool recordMessages)
{
    TRun run;
    TSignInDialogs dialogs;
    if (recordMessages)
        dialogs.ShowMessage = [&run](QWidget*, const QString& text) { run.Messages.append(text); };
    client.setSignInUi(&dialogs);
    TModalDriver driver(std::move(steps));
    run.Connected = client.Connect();
    client.setSignInUi(nullptr);
    run.Shown = driver.Shown;
    run.Errors = driver.Errors;
    if (!driver.Done()) run.Errors.append("steps left over");
    // Every sequence frees its confirmation dialog and clears the reference.
    if (TfrmEnterCheckCode::Current()) run.Errors.append("reference not cleared");
    return run;
}

void TestSignIn::texts_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("text");
    QTest::newRow("registration caption") << "frmRegister"
                                          << ""
                                          << "Registration";
    QTest::newRow("gpEnterRegCode") << "frmRegister"
                                    << "gpEnterRegCode"
                                    << "By code";
    QTest::newRow("edtRegCode") << "frmRegister"
                                << "edtRegCode"
                                << "<By registration code (36 symbols)>";
    QTest::newRow("btnRegisterRegCode") << "frmRegister"
                                        << "btnRegisterRegCode"
                                        << "Confirm code";
    QTest::newRow("gpEnterEMail") << "frmRegister"
                                  << "gpEnterEMail"
                                  << "By  e-mail";
    QTest::newRow("edtEMail") << "frmRegister"
                              << "edtEMail"
                              << "E-Mail";
    QTest::newRow("btnEnterEMail") << "frmRegister"
                                   << "btnEnterEMail"
                                   << "Confirm e-mail";
    QTest::newRow("btnClose") << "frmRegister"
                              << "btnClose"
                              << "Close";
    QTest::newRow("code caption") << "frmEnterCheckCode"
                                  << ""
                                  << "Entering code";
    QTest::newRow("lblEnterCheckCode") << "frmEnterCheckCode"
                                       << "lblEnterCheckCode"
                                       << "Enter code to confirm";
    QTest::newRow("edtCode") << "frmEnterCheckCode"
                             << "edtCode"
                             << "<Code>";
    QTest::newRow("btnEnterCode") << "frmEnterCheckCode"
                                  << "btnEnterCode"
                                  << "Enter code";
    QTest::newRow("btnRetry") << "frmEnterCheckCode"
                              << "btnRetry"
                              << "New code";
    QTest::newRow("btnBreak") << "frmEnterCheckCode"
                              << "btnBreak"
                              << "Abort";
}

void TestSignIn::texts()
{
    QFETCH(QString, form);
    QFETCH(QString, control);
    QFETCH(QString, text);
    std::unique_ptr<QDialog> dialog;
    if (form == "frmRegister")
        dialog = std::make_unique<TfrmRegister>();
    else
        dialog = std::make_unique<TfrmEnterCheckCode>();
    dialog->show(); // the texts come with showing
    QCOMPARE(dialog->objectName(), form);
    if (control.isEmpty()) {
        QCOMPARE(dialog->windowTitle(), text);
        return;
    }
    QObject* widget = dialog->findChild<QObject*>(control);
    QVERIFY2(widget, qPrintable(control));
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        QCOMPARE(edit->placeholderText(), text);
    else if (auto* button = qobject_cast<QPushButton*>(widget))
        QCOMPARE(button->text(), text);
    else if (auto* group = qobject_cast<QGroupBox*>(widget))
        QCOMPARE(group->title(), text);
    else if (auto* label = qobject_cast<QLabel*>(widget))
        QCOMPARE(label->text(), text);
    else
        QFAIL("unexpected control kind");
}

void TestSignIn::geometryAndFlags()
{
    TfrmRegister reg;
    reg.show();
    QCOMPARE(reg.size(), QSize(544, 157));
    QVERIFY(reg.windowFlags().testFlag(Qt::Tool));
    auto* regCode = reg.findChild<QLineEdit*>("edtRegCode");
    QCOMPARE(regCode->font().pointSize(), 16);
    QVERIFY(regCode->alignment().testFlag(Qt::AlignHCenter));
    QCOMPARE(reg.findChild<QLineEdit*>("edtEMail")->font().pointSize(), 16);
    // Close sits at the bottom right.
    auto* close = reg.findChild<QPushButton*>("btnClose");
    const QRect closeRect(close->mapTo(&reg, QPoint(0, 0)), close->size());
    QVERIFY(closeRect.right() > reg.width() - 30);
    QVERIFY(closeRect.bottom() > reg.height() - 20);
    for (QWidget* child : reg.findChildren<QWidget*>())
        if (child->isVisible())
            QVERIFY2(reg.rect().contains(QRect(child->mapTo(&reg, QPoint(0, 0)), child->size())),
                     qPrintable(child->objectName()));

    TfrmEnterCheckCode code;
    code.show();
    QCOMPARE(code.size(), QSize(316, 92));
    QVERIFY(code.windowFlags().testFlag(Qt::Tool));
    QVERIFY(code.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    auto* edit = code.findChild<QLineEdit*>("edtCode");
    QCOMPARE(edit->font().pointSize(), 16);
    QVERIFY(edit->alignment().testFlag(Qt::AlignHCenter));
    for (QWidget* child : code.findChildren<QWidget*>())
        QVERIFY2(code.rect().contains(QRect(child->mapTo(&code, QPoint(0, 0)), child->size())),
                 qPrintable(child->objectName()));
}

void TestSignIn::storedIdentityShowsNoDialog()
{
    const QString email = NewEMail();
    TTVLApiClient first(FService.ApiBase());
    first.setRegCode(FService.AddAccount(email));
    QVERIFY(SignInByCode(first, FService, email));
    TTVLApiClient client(FService.ApiBase());
    client.setRegCode(first.RegCode());
    client.setToken(first.Token());
    const TRun run = Connect(client, {});
    QVERIFY(run.Connected);
    QCOMPARE(run.Shown, QStringList());
    QCOMPARE(run.Errors, QStringList());
}

void TestSignIn::refusedToken_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("aborted") << "abort" << false << QStringList{"frmEnterCheckCode"};
    QTest::newRow("closed by its frame, shown again until a code is taken")
        << "frame" << true << QStringList{"frmEnterCheckCode", "frmEnterCheckCode"};
    QTest::newRow("five digits send nothing and keep it open")
        << "five" << false << QStringList{"frmEnterCheckCode"};
}

void TestSignIn::refusedToken()
{
    QFETCH(QString, script);
    QFETCH(bool, connected);
    QFETCH(QStringList, shown);
    const QString email = NewEMail();
    const QString regCode = FService.AddAccount(email);
    TTVLApiClient client(FService.ApiBase());
    client.setRegCode(regCode);
    client.setToken(kToken); // unknown to the service
    const int mails = FService.OutboxCount();
    const auto typeCode = [this, email](QDialog* d) {
        Type(d, "edtCode", FService.LatestCode(email));
        Click(d, "btnEnterCode");
    };
    QList<TStep> steps;
    if (script == "abort") {
        steps = {{"frmEnterCheckCode", [&](QDialog* d) {
                      // A fresh code was issued as the dialog opened.
                      QCOMPARE(FService.OutboxCount(), mails + 1);
                      QCOMPARE(TfrmEnterCheckCode::Current(), d);
                      Click(d, "btnBreak");
                  }}};
    } else if (script == "frame") {
        steps = {{"frmEnterCheckCode", [](QDialog* d) { d->close(); }},
                 {"frmEnterCheckCode", typeCode}};
    } else {
        steps = {{"frmEnterCheckCode", [](QDialog* d) {
                      Type(d, "edtCode", "12345");
                      Click(d, "btnEnterCode");
                      QVERIFY(d->isVisible());
                      QCOMPARE(d->findChild<QLineEdit*>("edtCode")->text(), "12345");
                      Click(d, "btnBreak");
                  }}};
    }
    const TRun run = Connect(client, steps);
    QCOMPARE(run.Errors, QStringList());
    QCOMPARE(run.Connected, connected);
    QCOMPARE(run.Shown, shown);
    QCOMPARE(run.Messages, QStringList());
    QCOMPARE(client.RegCode(), regCode); // kept, also when aborted
}

void TestSignIn::codeWay_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("malformed account code: nothing happens")
        << "malformed" << false << QStringList();
    QTest::newRow("aborted") << "abort" << false << QStringList{"Error Registration Code"};
    QTest::newRow("code accepted") << "code" << true << QStringList();
}

void TestSignIn::codeWay()
{
    QFETCH(QString, script);
    QFETCH(bool, connected);
    QFETCH(QStringList, messages);
    const QString email = NewEMail();
    const QString regCode = FService.AddAccount(email);
    TTVLApiClient client(FService.ApiBase());
    const TStep enter{"frmRegister", [regCode](QDialog* d) {
                          Type(d, "edtRegCode", regCode);
                          Click(d, "btnRegisterRegCode");
                      }};
    QList<TStep> steps;
    if (script == "malformed") {
        steps = {{"frmRegister", [](QDialog* d) {
                      Type(d, "edtRegCode", "6f1c0e2a-1b2c-4d3e-8f40-00000000abc");
                      Click(d, "btnRegisterRegCode");
                      QVERIFY(d->isVisible());
                      Click(d, "btnClose");
                  }}};
    } else if (script == "abort") {
        // Shown again after the abort, with the message, and open until the user closes it.
        steps = {enter, Abort(), {"frmRegister", [](QDialog* d) {
                                      QTimer::singleShot(50, d, [d] {
                                          QVERIFY(d->isVisible());
                                          Click(d, "btnClose");
                                      });
                                  }}};
    } else {
        steps = {enter,
                 {"frmEnterCheckCode",
                  [this, email](QDialog* d) {
                      // The registration dialog hides while the code is asked for.
                      for (QWidget* top : QApplication::topLevelWidgets())
                          if (top->objectName() == "frmRegister") QVERIFY(!top->isVisible());
                      Type(d, "edtCode", FService.LatestCode(email));
                      Click(d, "btnEnterCode");
                  }},
                 Nothing("frmRegister")};
    }
    const TRun run = Connect(client, steps);
    QCOMPARE(run.Errors, QStringList());
    QCOMPARE(run.Connected, connected);
    QCOMPARE(run.Messages, messages);
    if (script == "code") {
        QCOMPARE(client.RegCode(), regCode);
        QVERIFY(TTVLApiClient::CheckUUID(client.Token()));
    } else {
        QCOMPARE(client.RegCode(), QString()); // cleared again on abort
    }
}

void TestSignIn::eMailWay_data()
{
    QTest::addColumn<bool>("open");    // the service lets new addresses register
    QTest::addColumn<bool>("account"); // the address has an account
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("account, code accepted") << false << true << "code" << true << QStringList();
    QTest::newRow("no account: no code, nothing shown")
        << false << false << "refused" << false << QStringList();
    QTest::newRow("open registration: a new account")
        << true << false << "code" << true << QStringList();
    QTest::newRow("aborted; New code sends nothing")
        << false << true << "abort" << false << QStringList{"Error EMail"};
}

void TestSignIn::eMailWay()
{
    QFETCH(bool, open);
    QFETCH(bool, account);
    QFETCH(QString, script);
    QFETCH(bool, connected);
    QFETCH(QStringList, messages);
    TServiceProcess& service = open ? FOpenService : FService;
    const QString email = NewEMail();
    const QString regCode = account ? service.AddAccount(email) : QString();
    TTVLApiClient client(service.ApiBase());
    const TStep enter{"frmRegister", [email](QDialog* d) {
                          Type(d, "edtEMail", email);
                          Click(d, "btnEnterEMail");
                      }};
    QList<TStep> steps;
    if (script == "refused") {
        steps = {{"frmRegister", [email](QDialog* d) {
                      Type(d, "edtEMail", email);
                      Click(d, "btnEnterEMail");
                      QVERIFY(d->isVisible());
                      Click(d, "btnClose");
                  }}};
    } else if (script == "abort") {
        steps = {enter,
                 {"frmEnterCheckCode",
                  [&service](QDialog* d) {
                      const int mails = service.OutboxCount();
                      Click(d, "btnRetry");
                      QCOMPARE(service.OutboxCount(), mails);
                      Click(d, "btnBreak");
                  }},
                 {"frmRegister",
                  [](QDialog* d) { QTimer::singleShot(50, d, [d] { Click(d, "btnClose"); }); }}};
    } else {
        steps = {enter,
                 {"frmEnterCheckCode",
                  [&service, email](QDialog* d) {
                      Type(d, "edtCode", service.LatestCode(email));
                      Click(d, "btnEnterCode");
                  }},
                 Nothing("frmRegister")};
    }
    const TRun run = Connect(client, steps);
    QCOMPARE(run.Errors, QStringList());
    QCOMPARE(run.Connected, connected);
    QCOMPARE(run.Messages, messages);
    if (connected) {
        QVERIFY(TTVLApiClient::CheckUUID(client.RegCode()));
        if (account) QCOMPARE(client.RegCode(), regCode);
    } else {
        QCOMPARE(client.RegCode(), QString());
    }
}

void TestSignIn::messageBoxIsClosable()
{
    const QString regCode = FService.AddAccount(NewEMail());
    TTVLApiClient client(FService.ApiBase());
    QString boxText;
    const QList<TStep> steps = {{"frmRegister",
                                 [regCode](QDialog* d) {
                                     Type(d, "edtRegCode", regCode);
                                     Click(d, "btnRegisterRegCode");
                                 }},
                                Abort(),
                                Nothing("frmRegister"),
                                {"msgInformation", [&boxText](QDialog* d) {
                                     auto* box = qobject_cast<QMessageBox*>(d);
                                     QVERIFY(box);
                                     boxText = box->text();
                                     // The box belongs to the registration dialog, which stays open
                                     // after it.
                                     auto* reg = qobject_cast<QDialog*>(box->parentWidget());
                                     QVERIFY(reg);
                                     box->button(QMessageBox::Ok)->click();
                                     QTimer::singleShot(50, reg, [reg] { Click(reg, "btnClose"); });
                                 }}};
    const TRun run = Connect(client, steps, false); // the real information box
    QCOMPARE(run.Errors, QStringList());
    QCOMPARE(boxText, "Error Registration Code");
    QVERIFY(!run.Connected);
    QCOMPARE(run.Shown,
             (QStringList{"frmRegister", "frmEnterCheckCode", "frmRegister", "msgInformation"}));
}

TAVLORA_REGISTER_TEST(TestSignIn);
#include "tst_signin.moc"
