#pragma once
// Answering the modal dialogs a test opens (file panels, message boxes) without ever waiting for
// ever: the answer runs once the dialog is up, and a dialog that is never shown, or still open a
// while after it was answered, fails the test and is closed so the blocking call returns.
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace modal {

// Closes every modal dialog that is up, the innermost first.
inline void rejectAll() {
    for (int guard = 0; guard < 16; ++guard) {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog) break;
        dialog->reject();
        if (dialog->isVisible()) dialog->hide();
    }
}

// Runs F on the next visible file panel or message box; DEADLINE_MS bounds both the wait for the
// dialog and the time it may stay open after F.
inline void whenModal(std::function<void(QWidget*)> f, int deadlineMs = 15000) {
    auto* poll = new QTimer();
    poll->setInterval(20);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    auto answered = std::make_shared<QPointer<QWidget>>();
    auto done = std::make_shared<bool>(false);
    QObject::connect(poll, &QTimer::timeout, [poll, f, clock, answered, done, deadlineMs] {
        if (*done) {
            // Answered: wait for the dialog to go, then stop.
            if (answered->isNull() || !(*answered)->isVisible()) {
                poll->stop();
                poll->deleteLater();
            } else if (clock->elapsed() > deadlineMs) {
                std::string above;
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                    above = " under the message \"" + box->text().toStdString() + "\"";
                ADD_FAILURE() << "the dialog \"" << (*answered)->windowTitle().toStdString()
                              << "\" was answered but is still open" << above;
                poll->stop();
                poll->deleteLater();
                rejectAll();
            }
            return;
        }
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible() || !(qobject_cast<QFileDialog*>(w) || qobject_cast<QMessageBox*>(w))) continue;
            *done = true;
            *answered = w;
            clock->restart();
            // Answered from a fresh event rather than inside this timer's slot: an answer that
            // opens another modal dialog (an overwrite question, a warning) then leaves the poll
            // running, so the deadline still holds.
            QTimer::singleShot(0, w, [f, w] { f(w); });
            return;
        }
        if (clock->elapsed() > deadlineMs) {
            ADD_FAILURE() << "no dialog came up to be answered";
            poll->stop();
            poll->deleteLater();
            rejectAll();
        }
    });
    poll->start();
}

// Chooses PATH in PANEL as a user typing its name would. selectFile() leaves the name field alone
// while that field has the keyboard focus, which it gets as soon as the panel's window is active,
// so a test that only called selectFile() raced the window manager.
inline void chooseFile(QFileDialog* panel, const QString& path) {
    const QFileInfo info(path);
    panel->setDirectory(info.absolutePath());
    if (auto* edit = panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        edit->setText(info.fileName());
    else
        panel->selectFile(path);
}

}  // namespace modal
