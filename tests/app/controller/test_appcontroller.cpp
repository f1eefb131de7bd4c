// The application controller through its menus: defaults of a fresh store, the unit hook, the
// shared menus, dispatch to the current document with validation, and the notifications.
#include "VDLAppController.h"
#include "VDLColorList.h"
#include "VDLDefaults.h"
#include "VDLDesign.h"
#include "VDLNotificationCenter.h"
#include "VDLStartWindow.h"
#include "VDLValueTransformer.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QUndoStack>
#include <QUrl>

#include <gtest/gtest.h>

namespace {
// Stands in for a document: records the slots the controller calls and answers validation.
class FakeDocument : public QObject {
    Q_OBJECT
public:
    QStringList calls;
    QSet<QString> disabled;  // selectors answered "disabled"
    QString checkedSelector;
    QUndoStack* stack = new QUndoStack(this);

public slots:
    void zoomIn(QObject* sender) { record("zoomIn", sender); }
    void deleteSelected(QObject* sender) { record("deleteSelected", sender); }
    void changePalette(QObject* sender) { record("changePalette:" + qobject_cast<QAction*>(sender)->text(), sender); }
    void selectHoopJanome(QObject* sender) {
        record("selectHoopJanome:" + QString::number(qobject_cast<QAction*>(sender)->data().toInt()), sender);
    }
    bool validateUserInterfaceItem(QAction* item) {
        if (item->isCheckable()) item->setChecked(item->objectName() == checkedSelector);
        return !disabled.contains(item->objectName());
    }

public:
    QObject* lastSender = nullptr;

private:
    void record(const QString& what, QObject* sender) {
        calls << what;
        lastSender = sender;
    }
};

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

QString stringOf(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

// A first launch: every default of the table reads its value, nothing is written by
// registering them, and "LastUpdateCheck" is missing, so the version is checked.
TEST(AppController, FreshStoreReadsRegisteredDefaults) {
    VDLDefaults& d = VDLDefaults::standard();
    const QVariantMap expected{
        {"MachineTag", 0}, {"MeasurementUnit", 0}, {"DefaultThreads", 0}, {"CheckForUpdates", true},
        {"SkipOpenDialog", false}, {"BastingLength", 5.0}, {"BastingDistance", 1.0}, {"SoundMuted", false},
        {"StitchSpeed", 7}, {"AlertReset", false}, {"AlertWriteToURL", false}, {"DrawFastMode", false},
        {"ShowJumps", true}, {"ShowGrid", true}, {"ShowCenter", false}, {"ShowHoop", true},
        {"ShowStructure", false}, {"ShowFirst", false}, {"ShowLast", false}, {"ShowRulers", true},
        {"PrintFastMode", true}, {"PrintGrid", true}, {"PrintJumps", true}, {"PrintCenter", false},
        {"PrintHoop", false}, {"PrintStructure", false}, {"PrintFirst", false}, {"PrintLast", false},
        {"PrintTemplate", false}, {"NSDisabledCharacterPaletteMenuItem", true}, {"NSDisabledDictationMenuItem", true}};
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        SCOPED_TRACE(it.key().toStdString());
        if (it.value().typeId() == QMetaType::Bool) EXPECT_EQ(d.boolForKey(it.key()), it.value().toBool());
        else if (it.value().typeId() == QMetaType::Double) EXPECT_FLOAT_EQ(d.floatForKey(it.key()), it.value().toFloat());
        else EXPECT_EQ(d.integerForKey(it.key()), it.value().toInt());
    }
    // Nothing registered beyond the table (plus the background colour).
    EXPECT_EQ(VDLAppController::registeredDefaults().size(), expected.size() + 1);
    const QColor background = VDLAppController::colorFromArchive(d.dataForKey("BackgroundColor"));
    ASSERT_TRUE(background.isValid());
    EXPECT_EQ(background.rgb(), QApplication::palette().color(QPalette::Window).rgb());
    EXPECT_FALSE(d.dateForKey("LastUpdateCheck").isValid());
    EXPECT_TRUE(VDLAppController::versionCheckDue(QDateTime::currentDateTimeUtc()));
    EXPECT_FALSE(QFileInfo::exists(d.path()));
}

// The colour archive is a small property list that survives the preferences file; bytes that
// are not one (or hold components outside 0..1) decode as no colour.
TEST(AppController, BackgroundColourArchive) {
    const QColor c = QColor::fromRgbF(0.25f, 0.5f, 1.0f);
    const QByteArray bytes = VDLAppController::archivedColor(c);
    EXPECT_TRUE(bytes.contains("<key>r</key>"));
    ASSERT_TRUE(VDLDefaults::standard().setValue("BackgroundColor", bytes));
    VDLDefaults::standard().reload();
    EXPECT_EQ(VDLAppController::backgroundColor().rgb(), c.rgb());
    EXPECT_FALSE(VDLAppController::colorFromArchive("garbage").isValid());
    EXPECT_FALSE(VDLAppController::colorFromArchive(QByteArray(
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>r</key><real>7</real><key>g</key><real>0</real>"
        "<key>b</key><real>0</real></dict></plist>")).isValid());
    VDLDefaults::standard().setValue("BackgroundColor", QByteArray("garbage"));
    EXPECT_EQ(VDLAppController::backgroundColor(), VDLAppController::windowBackgroundColor());
}

// The unit is read at launch and every length the application formats follows it.
TEST(AppController, LaunchReadsUnitForTheTransformer) {
    VDLDefaults& d = VDLDefaults::standard();
    d.setValue("MeasurementUnit", 2);
    d.setValue("CheckForUpdates", false);
    d.setValue("SkipOpenDialog", true);
    VDLAppController* c = VDLAppController::instance();
    c->applicationDidFinishLaunching();
    EXPECT_EQ(c->measurementUnit(), 2);
    EXPECT_EQ(VDLValueTransformer("en_US").transformedValue(38.1), "1 1/2\"");
    // A change in the preferences applies after a restart only.
    d.setValue("MeasurementUnit", 0);
    EXPECT_EQ(VDLValueTransformer("en_US").transformedValue(38.1), "1 1/2\"");
    c->setMeasurementUnit(0);
    EXPECT_EQ(VDLValueTransformer("en_US").transformedValue(25.4), "25.4 mm");
}

// Every window's menu bar shows the same menus; the thread menu lists palettes whose colour
// files exist, item 0 being "no palette"; the hoop menu is filled once.
TEST(AppController, SharedMenusThreadAndHoopItems) {
    VDLAppController* c = VDLAppController::instance();
    QMainWindow a, b;
    c->populateMenuBar(a.menuBar());
    c->populateMenuBar(b.menuBar());
    ASSERT_EQ(a.menuBar()->actions().size(), 8);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(a.menuBar()->actions().at(i), b.menuBar()->actions().at(i));
    EXPECT_EQ(a.menuBar()->actions().at(4)->menu(), c->hoopMenu());
    EXPECT_EQ(a.menuBar()->actions().at(5)->menu(), c->threadMenu());
    EXPECT_EQ(a.menuBar()->actions().at(2)->menu(), c->viewMenu());

    const QList<QAction*> threads = c->threadMenu()->actions();
    const QStringList palettes = VDLAppController::threadMenuPalettes();
    ASSERT_EQ(threads.size(), palettes.size() + 1);
    EXPECT_EQ(threads.at(0)->objectName(), "noPalette:");
    EXPECT_TRUE(c->threadMenuTitle(0).isEmpty());
    EXPECT_EQ(palettes.mid(0, 4), QStringList({"Brother", "Janome", "Pfaff", "Sulky Rayon"}));
    for (int i = 1; i < threads.size(); ++i) {
        SCOPED_TRACE(threads.at(i)->text().toStdString());
        EXPECT_EQ(threads.at(i)->objectName(), "changePalette:");
        EXPECT_EQ(c->threadMenuTitle(i), palettes.at(i - 1));
        auto chart = VDLColorList::colorListForPalette(threads.at(i)->text().toStdString());
        ASSERT_TRUE(chart);
        EXPECT_FALSE(chart->isEmpty());
    }
    EXPECT_TRUE(c->threadMenuTitle(static_cast<int>(threads.size())).isEmpty());

    EXPECT_TRUE(c->hoopMenu()->actions().isEmpty());
    ASSERT_TRUE(c->fillHoopMenu());
    const QList<QAction*> hoops = c->hoopMenu()->actions();
    EXPECT_FALSE(c->fillHoopMenu());
    EXPECT_EQ(c->hoopMenu()->actions(), hoops);
    QStringList expected;
    for (const char* vendor : {"Janome", "Pfaff"}) {
        if (!expected.isEmpty()) expected << "-";
        const auto all = VDLDesign::allHoopsFromVendor(vendor);
        ASSERT_TRUE(all);
        for (const VDLHoop& h : *all)
            if (h.isWritable()) expected << stringOf(h.description()) + "|" + QString::number(h.code());
    }
    QStringList shown;
    int janome = 0, pfaff = 0;
    for (QAction* h : hoops) {
        if (h->isSeparator()) { shown << "-"; continue; }
        shown << h->text() + "|" + QString::number(h->data().toInt());
        (h->objectName() == "selectHoopJanome:" ? janome : pfaff)++;
    }
    EXPECT_EQ(shown, expected);
    EXPECT_GT(janome, 0);
    EXPECT_GT(pfaff, 0);
}

// Document actions reach the current document's slot with the item as sender and follow its
// validation; without a document they are disabled while application actions stay enabled.
TEST(AppController, DispatchAndValidation) {
    VDLAppController* c = VDLAppController::instance();
    c->fillHoopMenu();
    c->setCurrentDocumentProvider({});
    c->validateActions();
    EXPECT_FALSE(c->action("zoomIn:")->isEnabled());
    EXPECT_FALSE(c->action("saveDocument:")->isEnabled());
    EXPECT_FALSE(c->action("undo:")->isEnabled());
    EXPECT_TRUE(c->action("showPreferences:")->isEnabled());
    EXPECT_TRUE(c->action("checkVersion:")->isEnabled());
    EXPECT_TRUE(c->action("openDocument:")->isEnabled());

    FakeDocument doc;
    doc.disabled = {"saveDocument:"};
    doc.checkedSelector = "selectRect:";
    c->setCurrentDocumentProvider([&doc] { return &doc; });
    emit c->menus().at(1)->aboutToShow();
    EXPECT_TRUE(c->action("zoomIn:")->isEnabled());
    EXPECT_FALSE(c->action("saveDocument:")->isEnabled());
    EXPECT_TRUE(c->action("selectRect:")->isChecked());
    EXPECT_FALSE(c->action("selectStitch:")->isChecked());

    c->action("zoomIn:")->trigger();
    c->action("delete:")->trigger();
    c->threadMenu()->actions().at(2)->trigger();
    QAction* hoop = c->action("selectHoopJanome:");
    ASSERT_NE(hoop, nullptr);
    hoop->trigger();
    EXPECT_EQ(doc.calls, QStringList({"zoomIn", "deleteSelected", "changePalette:" + c->threadMenuTitle(2),
                                      "selectHoopJanome:" + QString::number(hoop->data().toInt())}));
    EXPECT_EQ(doc.lastSender, hoop);

    // Undo and Redo work on the document's undo stack, titled with the command.
    auto* cmd = new QUndoCommand("Move");
    doc.stack->push(cmd);
    c->validateActions();
    EXPECT_TRUE(c->action("undo:")->isEnabled());
    EXPECT_EQ(c->action("undo:")->text(), "&Undo Move");
    c->action("undo:")->trigger();
    EXPECT_EQ(doc.stack->index(), 0);
    EXPECT_TRUE(c->action("redo:")->isEnabled());
    EXPECT_FALSE(c->action("undo:")->isEnabled());
    c->setCurrentDocumentProvider({});
    c->validateActions();
}

// The View menu items post the notifications every document follows and keep the defaults.
TEST(AppController, MenuItemsPostNotifications) {
    VDLAppController* c = VDLAppController::instance();
    VDLNotificationCenter& center = VDLNotificationCenter::defaultCenter();
    QSignalSpy update(&center, &VDLNotificationCenter::updateDisplay);
    QSignalSpy show(&center, &VDLNotificationCenter::showRulers);
    QSignalSpy hide(&center, &VDLNotificationCenter::hideRulers);

    c->action("sendUpdateNotification:")->trigger();
    EXPECT_EQ(update.count(), 1);

    QAction* rulers = c->action("sendRulerNotification:");
    ASSERT_TRUE(rulers->isChecked());
    rulers->trigger();
    EXPECT_EQ(hide.count(), 1);
    EXPECT_EQ(show.count(), 0);
    EXPECT_FALSE(VDLDefaults::standard().boolForKey("ShowRulers"));
    rulers->trigger();
    EXPECT_EQ(show.count(), 1);
    EXPECT_TRUE(VDLDefaults::standard().boolForKey("ShowRulers"));

    QAction* jumps = c->action("ShowJumps");
    ASSERT_NE(jumps, nullptr);
    jumps->trigger();
    EXPECT_FALSE(VDLDefaults::standard().boolForKey("ShowJumps"));
    EXPECT_EQ(update.count(), 2);
    // A default changed elsewhere (the preferences window) shows in the menu.
    VDLDefaults::standard().setValue("ShowJumps", true);
    EXPECT_TRUE(jumps->isChecked());
}

// The help items open our pages at their anchors in the user's browser.
TEST(AppController, HelpActionsOpenAnchors) {
    VDLAppController* c = VDLAppController::instance();
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    c->action("exportDesignHelp:")->trigger();
    c->action("enterDimensionsHelp:")->trigger();
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(catcher.urls.size(), 2);
    EXPECT_EQ(catcher.urls.at(0).fragment(), "vdl2006");
    EXPECT_EQ(catcher.urls.at(1).fragment(), "vdl2007");
    QFile page(catcher.urls.at(0).toLocalFile());
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QByteArray html = page.readAll();
    EXPECT_TRUE(html.contains("id=\"vdl2006\""));
    EXPECT_TRUE(html.contains("id=\"vdl2007\""));
}

// With "SkipOpenDialog" the launch shows no open panel; a reopen with no visible window does,
// and a reopen with windows on screen does not.
TEST(AppController, OpenPanelAtLaunchAndReopen) {
    VDLDefaults& d = VDLDefaults::standard();
    d.setValue("CheckForUpdates", false);
    VDLAppController* c = VDLAppController::instance();
    int panels = 0;
    c->setOpenPanel([&panels] { ++panels; });
    d.setValue("SkipOpenDialog", true);
    c->applicationDidFinishLaunching();
    EXPECT_EQ(panels, 0);
    EXPECT_FALSE(c->applicationShouldHandleReopen(false));
    EXPECT_EQ(panels, 1);
    // The panel opened nothing: the start window keeps the application reachable.
    ASSERT_NE(c->startWindow(), nullptr);
    EXPECT_TRUE(c->startWindow()->isVisible());
    c->applicationShouldHandleReopen(true);
    EXPECT_EQ(panels, 1);
    delete c->startWindow();
    d.setValue("SkipOpenDialog", false);
    c->applicationDidFinishLaunching();
    EXPECT_EQ(panels, 2);
    // With a document open the launch shows no panel.
    QObject doc;
    c->setCurrentDocumentProvider([&doc] { return &doc; });
    c->applicationDidFinishLaunching();
    EXPECT_EQ(panels, 2);
    c->setCurrentDocumentProvider({});
    c->setOpenPanel({});
}

#include "test_appcontroller.moc"
