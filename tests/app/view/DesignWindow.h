#pragma once
// A design in a real canvas and scroll view on screen, for the canvas tests.
#include "VDLDesign.h"
#include "VDLDesignView.h"
#include "VDLScrollView.h"

#include <QTest>

#include <gtest/gtest.h>

struct DesignWindow {
    VDLDesign design;
    VDLScrollView scroll;
    VDLDesignView* view = new VDLDesignView;
    explicit DesignWindow(VDLDesign d, QSize size = QSize(1000, 800)) : design(std::move(d)) {
        scroll.setDesignView(view);
        scroll.resize(size);
        scroll.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&scroll));
        view->setDesign(&design);
        QTest::qWait(300);  // the resize at show settles (flat drawing while resizing)
    }
};
