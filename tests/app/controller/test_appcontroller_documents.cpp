// The controller with real document windows: the shared menus in every window, the hoop menu
// filled by the first window only, menu commands reaching the active document.
#include "DocumentTestSupport.h"
#include "VDLAppController.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

TEST_F(DocumentTest, ControllerMenusInDocumentWindows) {
    VDLAppController* app = VDLAppController::instance();
    VDLDocument* first = open(sample("flower.jef"));
    ASSERT_NE(first, nullptr);
    const QList<QAction*> hoops = app->hoopMenu()->actions();
    ASSERT_FALSE(hoops.isEmpty());
    VDLDocument* second = open(sample("flower.pcs"));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(app->hoopMenu()->actions(), hoops);  // filled once
    EXPECT_FALSE(app->fillHoopMenu());

    // Both windows show the controller's menus, not copies.
    const QList<QAction*> a = first->window()->menuBar()->actions();
    const QList<QAction*> b = second->window()->menuBar()->actions();
    ASSERT_GE(a.size(), 8);
    EXPECT_EQ(a, b);
    EXPECT_TRUE(a.contains(app->hoopMenu()->menuAction()));
    EXPECT_TRUE(a.contains(app->threadMenu()->menuAction()));

    // Zoom In from the menu reaches the active document only.
    QApplication::setActiveWindow(second->window());
    QApplication::processEvents();
    ASSERT_EQ(app->currentDocument(), second);
    emit app->viewMenu()->aboutToShow();
    ASSERT_TRUE(app->action("zoomIn:")->isEnabled());
    app->action("zoomIn:")->trigger();
    EXPECT_FLOAT_EQ(second->viewScaling(), 125.0f);
    EXPECT_FLOAT_EQ(first->viewScaling(), 100.0f);
    EXPECT_TRUE(second->window()->windowTitle().contains("(125%)"));

    // The hoop items follow the JEF design: Janome hoops enabled, its own hoop checked, Pfaff off.
    QApplication::setActiveWindow(first->window());
    QApplication::processEvents();
    ASSERT_EQ(app->currentDocument(), first);
    emit app->hoopMenu()->aboutToShow();
    QAction* other = nullptr;
    for (QAction* h : hoops) {
        if (h->objectName() == QLatin1String("selectHoopPfaff:")) {
            EXPECT_FALSE(h->isEnabled());
        }
        if (h->objectName() == QLatin1String("selectHoopJanome:") && !h->isChecked() && !other) other = h;
    }
    ASSERT_NE(other, nullptr);
    EXPECT_TRUE(other->isEnabled());
    int checked = 0;
    for (QAction* h : hoops) checked += h->isChecked() ? 1 : 0;
    EXPECT_EQ(checked, 1);

    // With every window closed the document commands are disabled again.
    controller()->closeAllDocumentsForTesting();
    QApplication::processEvents();
    app->validateActions();
    EXPECT_FALSE(app->action("zoomIn:")->isEnabled());
}
