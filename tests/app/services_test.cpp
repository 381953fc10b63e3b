// Feedback and invitations: the two forms, the bodies they make, and the
// posts against a server of the test's own on 127.0.0.1.

#include "AppTestSupport.h"
#include "app/Buildtool.h"
#include "app/services/FeedbackDialog.h"
#include "app/services/FormPoster.h"
#include "app/services/InviteDialog.h"
#include "LoopbackHttpServer.h"
#include "core/update/UpdateManager.h"
#include "util/Diagnostics.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>

#include <cstdio>

namespace {

const QString FeedbackTitle = "Your feedback could not be sent";
const QString InviteTitle = "Your invite could not be sent";

// A port on 127.0.0.1 that nothing listens on.
QByteArray closedAddress()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return "127.0.0.1:" + QByteArray::number(port);
}

// Captures the core's diagnostic lines while it lives.
class DiagnosticCapture {
public:
    DiagnosticCapture()
        : m_file(std::tmpfile())
    {
        Brask::setDiagnosticStream(m_file);
    }
    ~DiagnosticCapture()
    {
        Brask::setDiagnosticStream(nullptr);
        std::fclose(m_file);
    }
    QByteArray text()
    {
        std::fflush(m_file);
        std::rewind(m_file);
        QByteArray all;
        char chunk[4096];
        while (size_t n = std::fread(chunk, 1, sizeof chunk, m_file))
            all.append(chunk, qsizetype(n));
        return all;
    }

private:
    std::FILE* m_file;
};

// Saves `widget` as NAME.png when VARBUILD_GRAB_DIR names a directory.
void grabIfAsked(QWidget* widget, const QString& name)
{
    const QString dir = qEnvironmentVariable("VARBUILD_GRAB_DIR");
    if (!dir.isEmpty())
        widget->grab().save(dir + "/" + name + ".png");
}

} // namespace

class ServicesTest : public WindowTestBase {
    Q_OBJECT
private:
    void feedback(int entry, const QString& message, bool ok = true)
    {
        m_runner.scripts.append([=](QDialog& dialog) {
            dialog.findChild<QComboBox*>("comboId")->setCurrentIndex(entry);
            QTest::keyClicks(dialog.findChild<QTextEdit*>("lineMessage"), message);
            clickButton(dialog, ok);
        });
        m_window->findChild<QAction*>("actionSend_feedback")->trigger();
    }
    void invite(const QString& invitee, bool ok = true)
    {
        m_runner.scripts.append([=](QDialog& dialog) {
            QTest::keyClicks(dialog.findChild<QLineEdit*>("lineEdit"), invitee);
            clickButton(dialog, ok);
        });
        m_window->findChild<QAction*>("actionInvite")->trigger();
    }
    // Waits until `count` posts have ended.
    bool waitForPosts(QSignalSpy& spy, int count)
    {
        for (int round = 0; round < 100 && spy.count() < count; ++round)
            spy.wait(100);
        return spy.count() == count;
    }

private slots:
    void initTestCase() { startSuite(); }

    void init()
    {
        startTest();
        qunsetenv("EMAIL");
        openWindow();
    }

    void cleanup()
    {
        qunsetenv("EMAIL");
        endTest();
    }

    void feedbackFormAsDesigned()
    {
        FeedbackDialog dialog;
        QCOMPARE(dialog.objectName(), QString("FeedbackDialog"));
        QCOMPARE(dialog.windowTitle(), QString("Send feedback"));
        QCOMPARE(dialog.size(), QSize(400, 327));
        QCOMPARE(dialog.minimumSize(), QSize(400, 327));
        QCOMPARE(dialog.maximumSize(), QSize(400, 327));
        QCOMPARE(dialog.findChild<QLabel*>("label")->text(), QString("My feedback pertains to:"));
        QCOMPARE(dialog.findChild<QLabel*>("label_2")->text(), QString("Description:"));
        auto* combo = dialog.findChild<QComboBox*>("comboId");
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        QCOMPARE(items, (QStringList{"(please select)", "Comment", "Suggestion", "Bug"}));
        QCOMPARE(combo->currentIndex(), 0);
        QVERIFY(dialog.findChild<QTextEdit*>("lineMessage")->toPlainText().isEmpty());
        auto* buttons = dialog.findChild<QDialogButtonBox*>("buttonBox");
        QCOMPARE(buttons->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QCOMPARE(buttons->orientation(), Qt::Horizontal);
        dialog.show();
        grabIfAsked(&dialog, "feedback-dialog");
    }

    void inviteFormAsDesigned()
    {
        InviteDialog dialog;
        QCOMPARE(dialog.objectName(), QString("Dialog"));
        QCOMPARE(dialog.windowTitle(), QString("Invite a friend!"));
        QCOMPARE(dialog.size(), QSize(500, 464));
        QCOMPARE(dialog.minimumSize(), QSize(500, 464));
        QCOMPARE(dialog.maximumSize(), QSize(500, 464));
        QCOMPARE(dialog.findChild<QLabel*>("label")->text(), QString("Your friend's e-mail address:"));
        QCOMPARE(dialog.findChild<QLabel*>("label_2")->text(), QString("Message to your friend:"));
        auto* intro = dialog.findChild<QLabel*>("label_4");
        QVERIFY(intro->wordWrap());
        QCOMPARE(intro->text(),
                 QString("Use this form to invite your friends to try Varnel. When you've filled in the fields below, "
                         "an invitation will be sent to your friend with instructions on how download the Varnel "
                         "Beta."));
        QVERIFY(dialog.findChild<QLineEdit*>("lineEdit")->text().isEmpty());
        const QString invitation = dialog.findChild<QTextEdit*>("lineMessage")->toPlainText();
        QVERIFY(invitation.startsWith("Hi,\nI've been trying the new beta release of Varnel"));
        QVERIFY(invitation.contains("is just around the corner!\n\nSign up and/or read more at "));
        QVERIFY(invitation.endsWith(QString(Brask::MakerWebSite) + " !\n"));
        QCOMPARE(invitation, InviteDialog::defaultInvitation());
        QCOMPARE(dialog.findChild<QDialogButtonBox*>("buttonBox")->standardButtons(),
                 QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        dialog.show();
        QCOMPARE(dialog.size(), QSize(500, 464));
        grabIfAsked(&dialog, "invite-dialog");
    }

    void feedbackBodies_data()
    {
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("email");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("blank and ampersand") << 1 << "a b&c" << QByteArray() << QByteArray("id=2&sender=&message=a%20b%26c");
        QTest::newRow("nothing selected is 1") << 0 << "x" << QByteArray() << QByteArray("id=1&sender=&message=x");
        QTest::newRow("bug, sender from EMAIL")
            << 3 << "it broke" << QByteArray("me.too@example.org") << QByteArray("id=4&sender=me.too@example.org&message=it%20broke");
        QTest::newRow("form characters and UTF-8")
            << 2 << "1+1=2 é~_.-" << QByteArray("a&b=c@d") << QByteArray("id=3&sender=a%26b%3Dc@d&message=1%2B1%3D2%20%C3%A9~_.-");
        QTest::newRow("empty") << 0 << "" << QByteArray() << QByteArray("id=1&sender=&message=");
    }

    void feedbackBodies()
    {
        QFETCH(int, entry);
        QFETCH(QString, message);
        QFETCH(QByteArray, email);
        QFETCH(QByteArray, body);
        if (!email.isNull())
            qputenv("EMAIL", email);
        FeedbackDialog dialog;
        dialog.findChild<QComboBox*>("comboId")->setCurrentIndex(entry);
        dialog.findChild<QTextEdit*>("lineMessage")->setPlainText(message);
        DiagnosticCapture diagnostics;
        QCOMPARE(dialog.body(), body);
        QCOMPARE(diagnostics.text(), "Trying to send: " + body + "\n");
    }

    void invitationBodies_data()
    {
        QTest::addColumn<QString>("invitee");
        QTest::addColumn<QByteArray>("email");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("plain addresses as typed")
            << "friend_1.x-y@mail.example.com" << QByteArray("me@example.org") << "Hi\nthere"
            << QByteArray("sender=me@example.org&invitee=friend_1.x-y@mail.example.com&message=Hi%0Athere");
        QTest::newRow("ampersand in the invitee stays inside its field")
            << "a&message=spam@x" << QByteArray() << "m"
            << QByteArray("sender=&invitee=a%26message%3Dspam@x&message=m");
        QTest::newRow("plus and blank") << "b c+d@e" << QByteArray() << "" << QByteArray("sender=&invitee=b%20c%2Bd@e&message=");
    }

    void invitationBodies()
    {
        QFETCH(QString, invitee);
        QFETCH(QByteArray, email);
        QFETCH(QString, message);
        QFETCH(QByteArray, body);
        if (!email.isNull())
            qputenv("EMAIL", email);
        InviteDialog dialog;
        dialog.findChild<QLineEdit*>("lineEdit")->setText(invitee);
        dialog.findChild<QTextEdit*>("lineMessage")->setPlainText(message);
        QCOMPARE(dialog.body(), body);
    }

    void defaultInvitationIsSentEncoded()
    {
        InviteDialog dialog;
        dialog.findChild<QLineEdit*>("lineEdit")->setText("f@x");
        QCOMPARE(dialog.body(), "sender=&invitee=f@x&message=" + QUrl::toPercentEncoding(InviteDialog::defaultInvitation()));
    }

    void postsReachTheServerAsForms()
    {
        LoopbackHttpServer server;
        qputenv("VARNEL_UPDATE_SERVER", server.address());
        qputenv("EMAIL", "me@example.org");
        QSignalSpy done(m_window->formPoster(), &FormPoster::finished);
        DiagnosticCapture diagnostics;

        feedback(3, "a b&c");
        QVERIFY(diagnostics.text().endsWith("Feedback sent!\n"));
        QVERIFY(waitForPosts(done, 1));
        invite("pal@example.net");
        QVERIFY(waitForPosts(done, 2));

        QCOMPARE(m_runner.ran, (QStringList{"FeedbackDialog", "Dialog"}));
        QCOMPARE(m_runner.titles, (QStringList{"Send feedback", "Invite a friend!"}));
        QCOMPARE(server.requests.size(), 2);
        const auto& bug = server.requests[0];
        QCOMPARE(bug.method, QByteArray("POST"));
        QCOMPARE(bug.target, QByteArray("/bugs/"));
        QCOMPARE(bug.version, QByteArray("HTTP/1.1"));
        QCOMPARE(bug.header("Host"), QByteArray("127.0.0.1"));
        QCOMPARE(bug.header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
        QCOMPARE(bug.body, QByteArray("id=4&sender=me@example.org&message=a%20b%26c"));
        const auto& friendly = server.requests[1];
        QCOMPARE(friendly.method, QByteArray("POST"));
        QCOMPARE(friendly.target, QByteArray("/invites/"));
        QCOMPARE(friendly.header("Host"), QByteArray("127.0.0.1"));
        QCOMPARE(friendly.header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
        QCOMPARE(friendly.body, "sender=me@example.org&invitee=pal@example.net&message="
                     + QUrl::toPercentEncoding(InviteDialog::defaultInvitation()));

        // Success is not shown to the user.
        QVERIFY(m_dialogs.messages.isEmpty());
        const QByteArray lines = diagnostics.text();
        QVERIFY(lines.contains("Trying to send: id=4&sender=me@example.org&message=a%20b%26c\n"));
        QVERIFY(lines.contains("Invite sent!\n"));
        QCOMPARE(lines.count("An http request is DONE: 0\n"), 2);
    }

    void failedPostsSayWhich_data()
    {
        QTest::addColumn<bool>("isInvite");
        QTest::addColumn<int>("server");
        QTest::newRow("feedback, refused") << false << 0;
        QTest::newRow("invite, refused") << true << 0;
        QTest::newRow("feedback, closed without an answer") << false << 1;
        QTest::newRow("invite, closed without an answer") << true << 1;
        QTest::newRow("feedback, server error status") << false << 2;
        QTest::newRow("invite, server error status") << true << 2;
    }

    void failedPostsSayWhich()
    {
        QFETCH(bool, isInvite);
        QFETCH(int, server);
        LoopbackHttpServer loopback([server](const LoopbackHttpServer::Request&) {
            return server == 1 ? LoopbackHttpServer::Reply{LoopbackHttpServer::Reply::Close, {}}
                               : LoopbackHttpServer::ok("broken", 500);
        });
        qputenv("VARNEL_UPDATE_SERVER", server == 0 ? closedAddress() : loopback.address());
        QSignalSpy done(m_window->formPoster(), &FormPoster::finished);
        DiagnosticCapture diagnostics;
        if (isInvite)
            invite("pal@example.net");
        else
            feedback(2, "hello");
        QVERIFY(waitForPosts(done, 1));
        QCOMPARE(m_dialogs.messages.size(), 1);
        const FakeDialogs::Message& box = m_dialogs.messages[0];
        QCOMPARE(box.kind, UserDialogs::Kind::Warning);
        QCOMPARE(box.title, isInvite ? InviteTitle : FeedbackTitle);
        QCOMPARE(box.text, QString("Something went wrong with sending your %1. Check network cables, firewalls and "
                                   "that sort of stuff.")
                               .arg(isInvite ? "invite" : "feedback"));
        QVERIFY(diagnostics.text().contains("An http request is DONE: 1\n"));
    }

    void eachPostReportsItsOwnFailure()
    {
        // The server holds every post until the test lets them all fail.
        LoopbackHttpServer server([](const LoopbackHttpServer::Request&) {
            return LoopbackHttpServer::Reply{LoopbackHttpServer::Reply::Stall, {}};
        });
        qputenv("VARNEL_UPDATE_SERVER", server.address());
        QSignalSpy done(m_window->formPoster(), &FormPoster::finished);
        feedback(1, "first");
        invite("pal@example.net");
        feedback(2, "second");
        QTRY_COMPARE_WITH_TIMEOUT(server.requests.size(), 3, 10000);
        QCOMPARE(m_window->formPoster()->pendingCount(), 3);
        QVERIFY(m_dialogs.messages.isEmpty());

        // Each slow post shows what it does; Cancel gives the invitation up
        // without a word.
        auto shown = [this] {
            QStringList labels;
            for (auto* dialog : m_window->findChildren<QProgressDialog*>("networkProgress"))
                if (dialog->isVisible())
                    labels << dialog->labelText();
            labels.sort();
            return labels;
        };
        QTRY_COMPARE(shown(), (QStringList{"Sending your feedback...", "Sending your feedback...",
                                           "Sending your invitation..."}));
        for (auto* dialog : m_window->findChildren<QProgressDialog*>("networkProgress"))
            if (dialog->labelText() == "Sending your invitation...") {
                grabIfAsked(dialog, "post-progress");
                QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);
            }
        QCOMPARE(m_window->formPoster()->pendingCount(), 2);
        QTRY_COMPARE(shown(), (QStringList{"Sending your feedback...", "Sending your feedback..."}));

        // Stop listening too: the network layer tries a dropped post again.
        server.closeAll(true);
        QVERIFY(waitForPosts(done, 2));
        QCOMPARE(m_dialogs.titles(), (QStringList{FeedbackTitle, FeedbackTitle}));
        QCOMPARE(m_window->formPoster()->pendingCount(), 0);
        QTRY_COMPARE(shown(), QStringList());
    }

    void cancelSendsNothing()
    {
        LoopbackHttpServer server;
        qputenv("VARNEL_UPDATE_SERVER", server.address());
        feedback(3, "never mind", false);
        invite("pal@example.net", false);
        QCOMPARE(m_runner.ran, (QStringList{"FeedbackDialog", "Dialog"}));
        QCOMPARE(m_window->formPoster()->pendingCount(), 0);
        QTest::qWait(200);
        QCOMPARE(server.connections, 0);
        QVERIFY(m_dialogs.messages.isEmpty());
    }

    void unusableServerAddressFailsThePost()
    {
        qputenv("VARNEL_UPDATE_SERVER", "127.0.0.1:notaport");
        QSignalSpy done(m_window->formPoster(), &FormPoster::finished);
        feedback(1, "x");
        QVERIFY(waitForPosts(done, 1));
        QCOMPARE(m_dialogs.titles(), QStringList{FeedbackTitle});
    }
};

QTEST_MAIN(ServicesTest)
#include "services_test.moc"
