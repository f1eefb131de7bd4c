// The weekly version check against a small HTTP server on 127.0.0.1 run inside the test.
#include "VDLAppController.h"
#include "VDLDefaults.h"
#include "VDLVersionChecker.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {
// Answers every request with one status and body; counts requests.
class VersionServer : public QObject {
public:
    int requests = 0;
    QByteArray status = "200 OK";
    QByteArray body;

    VersionServer() {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    buffer_[s] += s->readAll();
                    if (!buffer_[s].contains("\r\n\r\n")) return;
                    ++requests;
                    s->write("HTTP/1.1 " + status + "\r\nContent-Type: application/xml\r\nContent-Length: " +
                             QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
                    s->disconnectFromHost();
                });
                QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/version.plist").arg(server_.serverPort()); }

private:
    QTcpServer server_;
    QHash<QTcpSocket*, QByteArray> buffer_;
};

QByteArray versionDocument(const QString& version, const QString& url = {}) {
    QByteArray entry = "<key>version</key><string>" + version.toUtf8() + "</string>";
    if (!url.isEmpty()) entry += "<key>url</key><string>" + url.toUtf8() + "</string>";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
           "<key>org.example.Other</key><dict><key>version</key><string>9</string></dict>"
           "<key>" + VDLVersionChecker::bundleIdentifier().toUtf8() + "</key><dict>" + entry + "</dict></dict></plist>";
}

struct Alert {
    QString message, info;
    QStringList buttons;
};

// Records alerts and answers with CHOICE.
struct AlertRecorder {
    QList<Alert> alerts;
    QStringList opened;
    explicit AlertRecorder(int choice = 0) {
        VDLVersionChecker::setAlertPresenter([this, choice](QWidget*, const QString& m, const QString& i, const QStringList& b) {
            alerts << Alert{m, i, b};
            return choice;
        });
        VDLVersionChecker::setURLOpener([this](const QString& u) { opened << u; return true; });
    }
    ~AlertRecorder() {
        VDLVersionChecker::setAlertPresenter({});
        VDLVersionChecker::setURLOpener({});
    }
};

bool runChecker(const QString& url, bool info) {
    VDLVersionChecker checker(url);
    QSignalSpy done(&checker, &VDLVersionChecker::finished);
    checker.checkVersion(nullptr, info);
    EXPECT_TRUE(done.wait(5000));
    return !done.isEmpty() && done.first().first().toBool();
}
}  // namespace

// A launch 6 days after the last check asks nobody; 8 days after, it reads the document and
// stores the date; a failed check (404, refused) leaves the date, so the next launch tries again.
TEST(VersionCheck, WeeklyAtLaunchAndFailureKeepsDate) {
    VersionServer server;
    server.body = versionDocument(VDLVersionChecker::installedVersion());
    qputenv("VARDELLE_VERSION_URL", server.url().toUtf8());
    VDLDefaults& d = VDLDefaults::standard();
    d.setValue("SkipOpenDialog", true);
    d.setValue("CheckForUpdates", true);
    AlertRecorder alerts;
    VDLAppController* c = VDLAppController::instance();
    QSignalSpy finished(c, &VDLAppController::versionCheckFinished);
    const QDateTime now = QDateTime::currentDateTimeUtc();

    d.setValue("LastUpdateCheck", now.addDays(-6));
    c->applicationDidFinishLaunching();
    QTest::qWait(200);
    EXPECT_EQ(server.requests, 0);
    EXPECT_EQ(finished.count(), 0);

    d.setValue("LastUpdateCheck", now.addDays(-8));
    c->applicationDidFinishLaunching();
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_TRUE(finished.last().first().toBool());
    EXPECT_EQ(server.requests, 1);
    EXPECT_LE(qAbs(d.dateForKey("LastUpdateCheck").secsTo(QDateTime::currentDateTimeUtc())), 5);
    EXPECT_TRUE(alerts.alerts.isEmpty());  // quiet when current

    const QDateTime old = QDateTime::fromSecsSinceEpoch(now.toSecsSinceEpoch() - 8 * 86400, Qt::UTC);
    d.setValue("LastUpdateCheck", old);
    server.status = "404 Not Found";
    c->applicationDidFinishLaunching();
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_FALSE(finished.last().first().toBool());
    EXPECT_EQ(d.dateForKey("LastUpdateCheck"), old);

    // Nobody listening.
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    const quint16 port = closed.serverPort();
    closed.close();
    qputenv("VARDELLE_VERSION_URL", QStringLiteral("http://127.0.0.1:%1/v.plist").arg(port).toUtf8());
    c->applicationDidFinishLaunching();
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_FALSE(finished.last().first().toBool());
    EXPECT_EQ(d.dateForKey("LastUpdateCheck"), old);
    EXPECT_TRUE(alerts.alerts.isEmpty());  // the launch check only logs

    // Checking is switched off, or a check is dated in the future (clock set back).
    d.setValue("LastUpdateCheck", now.addDays(30));
    EXPECT_TRUE(VDLAppController::versionCheckDue(now));
    d.setValue("CheckForUpdates", false);
    EXPECT_FALSE(VDLAppController::versionCheckDue(now.addDays(60)));
    qunsetenv("VARDELLE_VERSION_URL");
}

// Any other released version is announced (also an older one), with Download only when the
// entry has an address; the menu command also confirms a current version, and says when the
// service could not be reached (no address configured).
TEST(VersionCheck, AnnouncementsAndMenuCommand) {
    VersionServer server;
    {
        AlertRecorder alerts(1);
        server.body = versionDocument("99.0", "https://example.org/download");
        EXPECT_TRUE(runChecker(server.url(), false));
        ASSERT_EQ(alerts.alerts.size(), 1);
        EXPECT_EQ(alerts.alerts[0].message, "Version Info");
        EXPECT_EQ(alerts.alerts[0].info,
                  "A newer version of this application is available (99.0)\nDownload page: https://example.org/download");
        EXPECT_EQ(alerts.alerts[0].buttons, QStringList({"Ignore", "Download"}));
        EXPECT_EQ(alerts.opened, QStringList({"https://example.org/download"}));

        server.body = versionDocument("0.0.1");
        EXPECT_TRUE(runChecker(server.url(), false));
        ASSERT_EQ(alerts.alerts.size(), 2);
        EXPECT_EQ(alerts.alerts[1].buttons, QStringList({"Ignore"}));
        EXPECT_EQ(alerts.opened.size(), 1);
    }
    {
        AlertRecorder alerts;
        server.body = versionDocument(VDLVersionChecker::installedVersion());
        EXPECT_TRUE(runChecker(server.url(), true));
        ASSERT_EQ(alerts.alerts.size(), 1);
        EXPECT_EQ(alerts.alerts[0].info, "The current version of this application is already installed.");

        server.body = "<html>not a property list</html>";
        EXPECT_FALSE(runChecker(server.url(), false));
        EXPECT_EQ(alerts.alerts.size(), 1);
    }
    {
        // Help > Check for Updates with no service configured.
        AlertRecorder alerts;
        qputenv("VARDELLE_VERSION_URL", "");
        VDLDefaults::standard().removeValue("LastUpdateCheck");
        VDLAppController* c = VDLAppController::instance();
        QSignalSpy finished(c, &VDLAppController::versionCheckFinished);
        c->action("checkVersion:")->trigger();
        ASSERT_TRUE(finished.wait(5000));
        EXPECT_FALSE(finished.last().first().toBool());
        ASSERT_EQ(alerts.alerts.size(), 1);
        EXPECT_EQ(alerts.alerts[0].info, "No update service is configured for this build of Vardelle.");
        EXPECT_FALSE(VDLDefaults::standard().dateForKey("LastUpdateCheck").isValid());
        qunsetenv("VARDELLE_VERSION_URL");
    }
    EXPECT_FALSE(VDLVersionChecker::releaseFromDocument(versionDocument(""), VDLVersionChecker::bundleIdentifier()));
}

// Only a web address is offered, shown before it is opened: https always, http only when the
// check itself went over http. Anything else in "url" is never opened.
TEST(VersionCheck, OnlyWebAddressesAreOfferedAndShownFirst) {
    VersionServer server;
    AlertRecorder alerts(1);  // answers "Download" whenever it is offered
    const QStringList refused{"file:///etc/passwd", "javascript:alert(1)", "smb://server/share/setup.exe",
                              "/usr/bin/xterm", "ftp://example.org/x", "https://", "data:text/html,hi"};
    for (const QString& url : refused) {
        server.body = versionDocument("99.0", url);
        EXPECT_TRUE(runChecker(server.url(), false)) << url.toStdString();
        ASSERT_FALSE(alerts.alerts.isEmpty());
        EXPECT_EQ(alerts.alerts.last().buttons, QStringList({"Ignore"})) << url.toStdString();
        EXPECT_FALSE(alerts.alerts.last().info.contains(url)) << url.toStdString();
    }
    EXPECT_TRUE(alerts.opened.isEmpty()) << alerts.opened.join(' ').toStdString();

    // The check ran over http, so an http download page is offered, and shown in the alert.
    server.body = versionDocument("99.0", "http://example.org/get");
    EXPECT_TRUE(runChecker(server.url(), false));
    EXPECT_TRUE(alerts.alerts.last().info.endsWith("Download page: http://example.org/get"));
    EXPECT_EQ(alerts.opened, QStringList({"http://example.org/get"}));

    EXPECT_TRUE(VDLVersionChecker::isOfferableURL("https://example.org/d", "https://example.org/v.plist"));
    EXPECT_FALSE(VDLVersionChecker::isOfferableURL("http://example.org/d", "https://example.org/v.plist"));
    EXPECT_FALSE(VDLVersionChecker::isOfferableURL("HTTPS:relative", "https://example.org/v.plist"));
}

// A server that trickles its answer, one byte at a time, cannot keep the check waiting past
// its deadline (the transfer timeout alone restarts with every byte).
TEST(VersionCheck, OneDeadlineForTheWholeCheck) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    QList<QTcpSocket*> sockets;
    QTimer trickle;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* s = server.nextPendingConnection()) {
            sockets << s;
            s->write("HTTP/1.1 200 OK\r\nContent-Type: application/xml\r\nContent-Length: 100000\r\n\r\n");
        }
    });
    QObject::connect(&trickle, &QTimer::timeout, [&] {
        for (QTcpSocket* s : sockets)
            if (s->state() == QAbstractSocket::ConnectedState) s->write(" ");
    });
    trickle.start(100);

    AlertRecorder alerts;
    VDLVersionChecker checker(QStringLiteral("http://127.0.0.1:%1/version.plist").arg(server.serverPort()));
    checker.setDeadline(1500);
    QSignalSpy done(&checker, &VDLVersionChecker::finished);
    QElapsedTimer clock;
    clock.start();
    checker.checkVersion(nullptr, true);
    ASSERT_TRUE(done.wait(10000));
    EXPECT_FALSE(done.first().first().toBool());
    EXPECT_GE(clock.elapsed(), 1400);
    EXPECT_LT(clock.elapsed(), 6000);
    ASSERT_EQ(alerts.alerts.size(), 1);
    EXPECT_EQ(alerts.alerts[0].info, "The version service could not be reached.");
    trickle.stop();
}
