#include "VDLVersionChecker.h"

#include "VDLLocalization.h"
#include "VDLPropertyList.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#ifndef VARDELLE_VERSION
#define VARDELLE_VERSION "0"
#endif

namespace {
// A version document is a few hundred bytes; anything far larger is not one.
constexpr qint64 kMaxDocumentSize = 1 << 20;

VDLVersionChecker::AlertPresenter& presenter() {
    static VDLVersionChecker::AlertPresenter p;
    return p;
}
std::function<bool(const QString&)>& urlOpener() {
    static std::function<bool(const QString&)> o;
    return o;
}

QString text(const char* key, const char* english) {
    return QString::fromStdString(VDLLocalizedString(key, "VDLVersionChecker", english));
}

QString nodeString(plist_t dict, const char* key) {
    plist_t node = plist_dict_get_item(dict, key);
    if (!node) return {};
    std::optional<std::string> s = VDLPlistString(node);
    return s ? QString::fromStdString(*s).trimmed() : QString();
}
}  // namespace

VDLVersionChecker::VDLVersionChecker(const QString& versionURL, QObject* parent)
    : QObject(parent), versionURL_(versionURL) {}

VDLVersionChecker::~VDLVersionChecker() {
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
        reply_->deleteLater();
    }
}

QString VDLVersionChecker::bundleIdentifier() { return QStringLiteral("io.github.vardelle.Vardelle"); }

QString VDLVersionChecker::installedVersion() { return QStringLiteral(VARDELLE_VERSION); }

void VDLVersionChecker::setAlertPresenter(AlertPresenter p) { presenter() = std::move(p); }
void VDLVersionChecker::setURLOpener(std::function<bool(const QString&)> o) { urlOpener() = std::move(o); }

int VDLVersionChecker::alert(QWidget* parent, const QString& message, const QString& info, const QStringList& buttons) {
    if (presenter()) return presenter()(parent, message, info, buttons);
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Information);
    box.setWindowTitle(message);
    box.setText(message);
    box.setInformativeText(info);
    QList<QPushButton*> added;
    for (int i = 0; i < buttons.size(); ++i)
        added << box.addButton(buttons.at(i), i == 0 ? QMessageBox::AcceptRole : QMessageBox::ActionRole);
    if (!added.isEmpty()) box.setDefaultButton(added.first());
    box.exec();
    const int index = static_cast<int>(added.indexOf(qobject_cast<QPushButton*>(box.clickedButton())));
    return index < 0 ? 0 : index;
}

std::optional<VDLVersionChecker::Release> VDLVersionChecker::releaseFromDocument(const QByteArray& bytes,
                                                                                  const QString& identifier) {
    if (bytes.isEmpty()) return std::nullopt;
    VDLPlist root = VDLPlistFromXML(bytes.toStdString());
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT) return std::nullopt;
    plist_t entry = plist_dict_get_item(root.get(), identifier.toUtf8().constData());
    if (!entry || plist_get_node_type(entry) != PLIST_DICT) return std::nullopt;
    Release r;
    r.version = nodeString(entry, "version");
    r.url = nodeString(entry, "url");
    if (r.version.isEmpty()) return std::nullopt;
    return r;
}

void VDLVersionChecker::fail(const QString& why) {
    qWarning().noquote() << QStringLiteral("Couldn't access version info, versionURL: %1").arg(versionURL_);
    if (!why.isEmpty()) qWarning().noquote() << "vardelle:" << why;
    if (info_)
        alert(qobject_cast<QWidget*>(owner_.data()), text("VERSION_TITLE", "Version Info"),
              text("VERSION_UNREACHABLE", "The version service could not be reached."), {text("VERSION_OK_BUTTON", "OK")});
    running_ = false;
    emit finished(false);
}

void VDLVersionChecker::checkVersion(QObject* owner, bool info) {
    if (running_) return;
    running_ = true;
    owner_ = owner;
    info_ = info;
    const QUrl url(versionURL_, QUrl::StrictMode);
    if (versionURL_.trimmed().isEmpty() || !url.isValid() || url.scheme().isEmpty()) {
        // Reported from the event loop, like a network answer, so callers see one behaviour.
        QMetaObject::invokeMethod(this, [this] { fail(versionURL_.isEmpty() ? QStringLiteral("no version service is configured") : QString()); },
                                  Qt::QueuedConnection);
        return;
    }
    if (!network_) network_ = new QNetworkAccessManager(this);
    QNetworkRequest request(url);
    // The transfer timeout restarts with every byte; the deadline below does not.
    request.setTransferTimeout(deadlineMs_);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Vardelle/%1").arg(installedVersion()));
    reply_ = network_->get(request);
    connect(reply_, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64) {
        if (received > kMaxDocumentSize && reply_) reply_->abort();
    });
    connect(reply_, &QNetworkReply::finished, this, &VDLVersionChecker::onReply);
    expired_ = false;
    if (!deadline_) {
        deadline_ = new QTimer(this);
        deadline_->setSingleShot(true);
        connect(deadline_, &QTimer::timeout, this, [this] {
            if (!reply_) return;
            expired_ = true;
            reply_->abort();  // finishes the reply: onReply reports the failure
        });
    }
    deadline_->start(deadlineMs_);
}

bool VDLVersionChecker::isOfferableURL(const QString& address, const QString& versionURL) {
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https")) return true;
    return scheme == QLatin1String("http") && QUrl(versionURL).scheme().toLower() == QLatin1String("http");
}

void VDLVersionChecker::onReply() {
    QNetworkReply* reply = reply_;
    reply_ = nullptr;
    if (!reply) return;
    reply->deleteLater();
    if (deadline_) deadline_->stop();
    if (expired_) {
        fail(QStringLiteral("the version service did not answer within %1 s").arg(deadlineMs_ / 1000.0));
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        fail(reply->errorString());
        return;
    }
    const QByteArray bytes = reply->read(kMaxDocumentSize + 1);
    if (bytes.size() > kMaxDocumentSize) {
        fail(QStringLiteral("the version document is too large"));
        return;
    }
    if (!handleDocument(bytes)) return;
    running_ = false;
    emit finished(true);
}

bool VDLVersionChecker::handleDocument(const QByteArray& bytes) {
    VDLPlist root = VDLPlistFromXML(bytes.toStdString());
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT) {
        fail(QStringLiteral("the version document is not a property list dictionary"));
        return false;
    }
    const QString identifier = bundleIdentifier();
    const QString installed = installedVersion();
    const std::optional<Release> release = releaseFromDocument(bytes, identifier);
    if (!release) {
        // The service answered but does not list this application: nothing to announce.
        qInfo().noquote() << QStringLiteral("%1: Installed version: %2 / Released version: %3")
                                 .arg(identifier, installed, QStringLiteral("(none)"));
        return true;
    }
    QWidget* parent = qobject_cast<QWidget*>(owner_.data());
    if (release->version != installed) {
        // The download page is offered only at a web address, and shown before it is opened.
        const bool offered = !release->url.isEmpty() && isOfferableURL(release->url, versionURL_);
        if (!release->url.isEmpty() && !offered)
            qWarning().noquote() << "vardelle: download address of the version document ignored:" << release->url;
        QStringList buttons{text("VERSION_DEFAULT", "Ignore")};
        if (offered) buttons << text("VERSION_ALTERNATE", "Download");
        QString info =
            text("VERSION_TEXT", "A newer version of this application is available (%@)").replace("%@", release->version);
        if (offered) info += QLatin1Char('\n') + text("VERSION_ADDRESS", "Download page: %@").replace("%@", release->url);
        const int choice = alert(parent, text("VERSION_TITLE", "Version Info"), info, buttons);
        if (choice == 1 && offered) {
            if (urlOpener()) urlOpener()(release->url);
            else QDesktopServices::openUrl(QUrl(release->url));
        }
    } else if (info_) {
        alert(parent, text("VERSION_TITLE", "Version Info"),
              text("VERSION_OK", "The current version of this application is already installed."),
              {text("VERSION_OK_BUTTON", "OK")});
    }
    qInfo().noquote() << QStringLiteral("%1: Installed version: %2 / Released version: %3")
                             .arg(identifier, installed, release->version);
    return true;
}
