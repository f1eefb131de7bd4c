// The preferences window: its controls write the defaults at once and follow changes made
// elsewhere; background colour and unit as the user changes them.
#include "VDLAppController.h"
#include "VDLDefaults.h"
#include "VDLNotificationCenter.h"
#include "VDLPreferenceController.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

TEST(Preferences, CheckBoxesWriteTheDefaults) {
    VDLAppController* c = VDLAppController::instance();
    c->action("showPreferences:")->trigger();
    VDLPreferenceController* p = c->preferenceController();
    ASSERT_TRUE(p->window()->isVisible());
    VDLDefaults& d = VDLDefaults::standard();
    QSignalSpy update(&VDLNotificationCenter::defaultCenter(), &VDLNotificationCenter::updateDisplay);
    QSignalSpy hide(&VDLNotificationCenter::defaultCenter(), &VDLNotificationCenter::hideRulers);

    // Every box starts at its default and writes the opposite when clicked.
    const QStringList keys{"ShowJumps", "ShowGrid", "ShowCenter", "ShowHoop", "ShowStructure", "ShowFirst",
                           "ShowLast", "ShowRulers", "DrawFastMode", "CheckForUpdates", "SkipOpenDialog"};
    for (const QString& key : keys) {
        SCOPED_TRACE(key.toStdString());
        QCheckBox* box = p->checkBox(key);
        ASSERT_NE(box, nullptr);
        const bool before = d.boolForKey(key);
        EXPECT_EQ(box->isChecked(), before);
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
        EXPECT_EQ(d.boolForKey(key), !before);
    }
    d.reload();  // written to the file
    EXPECT_FALSE(d.boolForKey("ShowGrid"));
    EXPECT_TRUE(d.boolForKey("SkipOpenDialog"));
    EXPECT_EQ(update.count(), 8);  // the display settings redraw the documents
    EXPECT_EQ(hide.count(), 1);
    // The View menu item and the box show one setting.
    EXPECT_FALSE(c->action("ShowGrid")->isChecked());
    c->action("ShowGrid")->trigger();
    EXPECT_TRUE(p->checkBox("ShowGrid")->isChecked());

    // The alert boxes read as "show the alert": unticking suppresses it.
    QCheckBox* remind = p->checkBox("AlertWriteToURL");
    EXPECT_TRUE(remind->isChecked());
    remind->click();
    EXPECT_TRUE(d.boolForKey("AlertWriteToURL"));

    // Default palette: item n of the popup is thread-menu item n.
    QComboBox* threads = p->defaultThreadsPopup();
    ASSERT_EQ(threads->count(), c->threadMenu()->actions().size());
    threads->setCurrentIndex(3);
    emit threads->activated(3);
    EXPECT_EQ(d.integerForKey("DefaultThreads"), 3);
    EXPECT_EQ(threads->itemText(3), c->threadMenuTitle(3));
}

// A new colour is stored and every document redraws; Reset returns to the registered colour.
// A new unit is stored, the restart notice shows, and the running application keeps its unit.
TEST(Preferences, BackgroundColourAndUnit) {
    VDLAppController* c = VDLAppController::instance();
    VDLPreferenceController* p = c->preferenceController();
    p->showWindow();
    VDLDefaults& d = VDLDefaults::standard();
    QSignalSpy update(&VDLNotificationCenter::defaultCenter(), &VDLNotificationCenter::updateDisplay);

    p->updateBackgroundColor(QColor(200, 30, 40));
    EXPECT_EQ(update.count(), 1);
    EXPECT_EQ(VDLAppController::backgroundColor(), QColor(200, 30, 40));
    EXPECT_EQ(p->wellColor(), QColor(200, 30, 40));
    d.reload();
    EXPECT_EQ(VDLAppController::colorFromArchive(d.dataForKey("BackgroundColor")), QColor(200, 30, 40));

    p->resetBackgroundColor();
    EXPECT_EQ(update.count(), 2);
    EXPECT_EQ(VDLAppController::backgroundColor().rgb(), VDLAppController::windowBackgroundColor().rgb());
    EXPECT_EQ(p->wellColor().rgb(), VDLAppController::windowBackgroundColor().rgb());

    const int unitBefore = c->measurementUnit();
    QComboBox* unit = p->unitPopup();
    unit->setCurrentIndex(1);
    emit unit->activated(1);
    EXPECT_EQ(d.integerForKey("MeasurementUnit"), 1);
    ASSERT_NE(p->restartSheet(), nullptr);
    EXPECT_TRUE(p->restartSheet()->isVisible());
    EXPECT_EQ(p->restartSheet()->parentWidget(), p->window());
    EXPECT_EQ(c->measurementUnit(), unitBefore);
    p->restartSheet()->button(QMessageBox::Ok)->click();
    EXPECT_FALSE(p->restartSheet()->isVisible());
}
