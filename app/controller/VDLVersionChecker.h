#pragma once
// Asks the version service whether a newer release exists and offers its download page.
//
// The version document is an XML property list: a dictionary keyed by application identifier
// ("io.github.vardelle.Vardelle"), each value a dictionary with "version" (the released version
// string) and, optionally, "url" (the download page):
//     <dict><key>io.github.vardelle.Vardelle</key>
//           <dict><key>version</key><string>0.2.0</string>
//                 <key>url</key><string>https://…</string></dict></dict>
// Any difference between the released and the installed version string is announced.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;
class QWidget;

class VDLVersionChecker : public QObject {
    Q_OBJECT
public:
    explicit VDLVersionChecker(const QString& versionURL, QObject* parent = nullptr);
    ~VDLVersionChecker() override;

    QString versionURL() const { return versionURL_; }

    // Reads the version document (asynchronously) and emits finished(true) when it could be
    // read, after telling the user about a different release (and, with INFO, also about a
    // current one). Unreachable or unreadable: one log line, finished(false); with INFO the user
    // is also told that the service could not be reached. OWNER, when a widget, parents the alerts.
    void checkVersion(QObject* owner, bool info);

    struct Release {
        QString version;
        QString url;  // empty when the entry has none
    };
    // The entry for IDENTIFIER in a version document; none when the bytes are not a property
    // list dictionary or hold no usable entry.
    static std::optional<Release> releaseFromDocument(const QByteArray& bytes, const QString& identifier);
    // Whether a download address may be offered to the user: an https address with a host, or
    // an http one when the check itself asked over http. Anything else (file:, javascript:,
    // smb:, bare paths) is never opened.
    static bool isOfferableURL(const QString& url, const QString& versionURL);

    // The whole check (connecting, every byte of the answer) ends by this many milliseconds;
    // a server that answers slowly, or trickles, fails the check when it passes.
    static constexpr int kDefaultDeadlineMs = 20000;
    void setDeadline(int ms) { deadlineMs_ = ms; }
    static QString bundleIdentifier();
    static QString installedVersion();

    // How alerts are shown: message, informative text, button titles (default first); answers
    // the index of the chosen button. Tests replace it; the default runs a modal QMessageBox.
    using AlertPresenter = std::function<int(QWidget* parent, const QString& message, const QString& info,
                                             const QStringList& buttons)>;
    static void setAlertPresenter(AlertPresenter presenter);
    // Shows an alert through the presenter in effect.
    static int alert(QWidget* parent, const QString& message, const QString& info, const QStringList& buttons);
    // How a download page is opened (default: the user's browser).
    static void setURLOpener(std::function<bool(const QString&)> opener);

signals:
    void finished(bool ok);

private:
    void onReply();
    bool handleDocument(const QByteArray& bytes);
    void fail(const QString& why);

    QString versionURL_;
    QNetworkAccessManager* network_ = nullptr;
    QNetworkReply* reply_ = nullptr;
    QTimer* deadline_ = nullptr;
    int deadlineMs_ = kDefaultDeadlineMs;
    bool expired_ = false;
    QPointer<QObject> owner_;
    bool info_ = false;
    bool running_ = false;
};
