// Printing: the page laid out by VDLPrintView (recorded call by call, and as the PDF a user
// gets), the print options panel and its summary.
#include "VDLDefaults.h"
#include "VDLPrintOptions.h"
#include "VDLPrintView.h"
#include "VDLRecordingContext.h"
#include "TestSupport.h"

#include <QCheckBox>
#include <QImage>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

// A design 100 mm wide and 40 mm high in two colours, with one jump.
VDLDesign wideDesign() {
    std::vector<VDLStitch> s;
    for (int i = 0; i < 10; ++i) s.emplace_back(100.0f, i % 2 ? 40.0f : -40.0f, false, false);
    s.emplace_back(0.0f, 400.0f, true, false);
    s.emplace_back(-50.0f, 0.0f, false, true);
    for (int i = 0; i < 10; ++i) s.emplace_back(-95.0f, i % 2 ? 30.0f : -30.0f, false, false);
    VDLDesign d = makeDesign(s);
    d.setDesignName("wide.dst");
    return d;
}

std::vector<std::string> texts(const VDLRecordingContext& ctx) {
    std::vector<std::string> out;
    for (const auto& op : ctx.opsOfKind(VDLRecordedOp::Kind::Text)) out.push_back(op.text);
    return out;
}

bool hasTextStartingWith(const std::vector<std::string>& t, const std::string& prefix) {
    for (const auto& s : t)
        if (s.rfind(prefix, 0) == 0) return true;
    return false;
}

std::string textStartingWith(const std::vector<std::string>& t, const std::string& prefix) {
    for (const auto& s : t)
        if (s.rfind(prefix, 0) == 0) return s;
    return {};
}

void setPrintDefault(const char* key, bool value) { VDLDefaults::standard().setValue(QString::fromLatin1(key), value); }

}  // namespace

// The information sheet: name, the design fitted beside the colour list (a swatch in each
// thread's colour), the statistics, a footer at the right edge; the size line names the hoop
// only when there is one; fast mode decides between flat and shaded drawing.
TEST(Printing, InformationSheet) {
    VDLDesign design = wideDesign();
    design.setDisplayRange(VDLRange{0, 3});  // what the player left: the print shows everything
    VDLPrintView view(design);
    EXPECT_EQ(view.printDesign().displayRange().length, design.stitches().size());

    VDLPrintSettings settings;  // registered values: fast mode, grid, jumps
    VDLRecordingContext page;
    view.drawPage(page, settings);
    const auto t = texts(page);
    ASSERT_FALSE(t.empty());
    EXPECT_EQ(t.front(), "wide.dst");
    EXPECT_TRUE(page.opsOfKind(VDLRecordedOp::Kind::Text).front().state.fontBold);
    EXPECT_TRUE(hasTextStartingWith(t, "Undefined (internal)"));
    EXPECT_EQ(textStartingWith(t, "Version: "), "Version: DST 1.0");
    const std::string size = textStartingWith(t, "Size: ");
    EXPECT_NE(size.find("100"), std::string::npos) << size;
    EXPECT_EQ(size.find("hoop"), std::string::npos) << size;
    EXPECT_TRUE(hasTextStartingWith(t, "Stitches: "));
    EXPECT_EQ(textStartingWith(t, "Colors: "), "Colors: 2, different colors: 2");
    EXPECT_TRUE(hasTextStartingWith(t, "Vardelle v"));

    // One swatch per thread in the thread's colour, the list right-aligned on the page.
    int swatches = 0;
    const QRectF pageRect = view.pageRect();
    double footerRight = 0;
    for (const auto& op : page.opsOfKind(VDLRecordedOp::Kind::Text)) {
        if (op.text == "\xE2\x96\x88 ") {
            const VDLColor& c = design.threads()[size_t(swatches)].color();
            EXPECT_EQ(op.state.fillColor, (VDLRGBA{c.red(), c.green(), c.blue(), 1}));
            EXPECT_GT(op.x, view.designFrame().right());
            ++swatches;
        }
        if (op.text.rfind("Vardelle v", 0) == 0) footerRight = op.x + op.state.fontSize / 2 * double(op.text.size() - 1);
    }
    EXPECT_EQ(swatches, 2);
    EXPECT_NEAR(footerRight, pageRect.right(), 3.5);  // the recording context's widths count bytes, "©" is two
    EXPECT_NEAR(view.designFrame().height(), 0.75 * view.designFrame().width(), 1e-9);
    EXPECT_EQ(page.count(VDLRecordedOp::Kind::LinearGradient), 0u);

    // With a hoop the size line names it; without fast mode the tubes are shaded.
    ASSERT_TRUE(design.setHoopFromVendor("Janome", 2));
    VDLPrintView hooped(design);
    settings.fastMode = false;
    VDLRecordingContext shaded;
    hooped.drawPage(shaded, settings);
    EXPECT_NE(textStartingWith(texts(shaded), "Size: ").find(", hoop: " + design.hoopName()), std::string::npos)
        << textStartingWith(texts(shaded), "Size: ");
    EXPECT_GT(shaded.count(VDLRecordedOp::Kind::LinearGradient), 10u);
}

// The template is true size: a 100 mm design plus its 0.5 mm margin on each side is
// 1010 x 72 / 254 = 286.3 points wide, in the recorded frame and in the PDF a user prints.
TEST(Printing, TemplateIsTrueSizeInThePDF) {
    const VDLDesign design = wideDesign();
    ASSERT_EQ(design.designWidth(), 1000);
    VDLPrintView view(design);
    VDLPrintSettings settings;
    settings.templateMode = true;
    VDLRecordingContext page;
    view.drawPage(page, settings);
    const auto frames = page.opsOfKind(VDLRecordedOp::Kind::StrokeRect);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_NEAR(frames[0].w, 286.3, 0.01);
    EXPECT_NEAR(frames[0].h, (design.designHeight() + 10) * 72.0 / 254, 1e-9);
    EXPECT_DOUBLE_EQ(frames[0].state.lineWidth, 0.5);
    EXPECT_FALSE(hasTextStartingWith(texts(page), "Size: "));  // no information lines on a template

    // The PDF: one page; the frame measured in a 720 dpi rendering of a strip across it.
    TempDir dir;
    const QString pdf = QString::fromStdString(dir.file("template.pdf"));
    VDLError error;
    ASSERT_TRUE(view.writePDF(pdf, settings, &error)) << error.message();
    QProcess info;
    info.start("pdfinfo", {pdf});
    ASSERT_TRUE(info.waitForFinished(30000));
    EXPECT_TRUE(info.readAllStandardOutput().contains("Pages:           1"));

    const QRectF frame = view.designFrame();
    const int top = int((frame.top() + frame.height() / 2) * 10);
    QProcess render;
    render.start("pdftoppm", {"-r", "720", "-gray", "-x", "0", "-y", QString::number(top), "-W",
                              QString::number(int((frame.right() + 20) * 10)), "-H", "4", "-png", pdf,
                              QString::fromStdString(dir.file("strip"))});
    ASSERT_TRUE(render.waitForFinished(60000));
    QImage strip(QString::fromStdString(dir.file("strip-1.png")));
    ASSERT_FALSE(strip.isNull());
    int left = -1, right = -1;
    for (int x = 0; x < strip.width(); ++x)
        if (qGray(strip.pixel(x, 1)) < 128) {
            if (left < 0) left = x;
            right = x;
        }
    ASSERT_GE(left, 0);
    // Outer edges of a 0.5-point line on both sides: the width plus one line width.
    EXPECT_NEAR((right - left + 1) / 10.0 - 0.5, 286.3, 0.25);
    EXPECT_NEAR(left / 10.0, frame.left() - 0.25, 0.25);
}

// The panel: nine boxes bound to the defaults, the summary with Fast Mode read the other way
// round, and a preview that repaints when an option changes.
TEST(Printing, OptionsPanelSummaryAndPreview) {
    const auto summary = VDLPrintOptions::localizedSummaryItems();
    ASSERT_EQ(summary.size(), 9);
    EXPECT_EQ(summary[0], (QPair<QString, QString>("Print Jumps", "Enabled")));
    EXPECT_EQ(summary[2], (QPair<QString, QString>("Print Hoop", "Disabled")));
    EXPECT_EQ(summary[8], (QPair<QString, QString>("Print FastMode", "Disabled")));  // fast mode is on by default

    VDLPrintOptions panel;
    QSignalSpy changed(&panel, &VDLPrintOptions::optionsChanged);
    QCheckBox* fast = panel.checkBoxForKey("PrintFastMode");
    ASSERT_NE(fast, nullptr);
    EXPECT_TRUE(fast->isChecked());
    fast->setChecked(false);
    EXPECT_FALSE(VDLDefaults::standard().boolForKey("PrintFastMode"));
    EXPECT_EQ(VDLPrintOptions::localizedSummaryItems()[8].second, "Enabled");
    EXPECT_FALSE(VDLPrintSettings::fromDefaults().fastMode);
    EXPECT_GE(changed.count(), 1);

    // A second panel (print dialog and preview at once) follows the first.
    VDLPrintOptions other;
    panel.checkBoxForKey("PrintTemplate")->setChecked(true);
    EXPECT_TRUE(other.checkBoxForKey("PrintTemplate")->isChecked());
    EXPECT_TRUE(VDLPrintSettings::fromDefaults().templateMode);

    // The preview draws the page again with the new settings.
    VDLPrintView view(wideDesign());
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    std::vector<bool> templates;
    QPrintPreviewDialog* dialog = VDLPrintOptions::previewDialog(&printer, nullptr, [&](QPrinter* p) {
        const VDLPrintSettings s = VDLPrintSettings::fromDefaults();
        templates.push_back(s.templateMode);
        view.print(*p, s);
    });
    auto* preview = dialog->findChild<QPrintPreviewWidget*>();
    ASSERT_NE(preview, nullptr);
    preview->updatePreview();
    ASSERT_FALSE(templates.empty());
    EXPECT_TRUE(templates.back());
    auto* dialogPanel = dialog->findChild<VDLPrintOptions*>();
    ASSERT_NE(dialogPanel, nullptr);
    dialogPanel->checkBoxForKey("PrintTemplate")->setChecked(false);
    EXPECT_FALSE(templates.back());
    EXPECT_EQ(view.designFrame().height(), 0.75 * view.designFrame().width());
    delete dialog;
    setPrintDefault("PrintFastMode", true);
    setPrintDefault("PrintTemplate", false);
}

// The bundled sample printed as a user would: the information sheet and the template in one
// PDF, their texts read back with pdftotext. With VARDELLE_DOCS_DIR set, the PDF and PNG
// renderings of its pages are left there (the README's pictures).
TEST(Printing, SampleSheetAndTemplate) {
    VDLDesign design;
    ASSERT_TRUE(design.importDesignFromURL(VDLURL::fileURLWithPath(VARDELLE_SOURCE_DIR "/resources/samples/flower.pes")));
    VDLPrintView view(design);
    VDLPrintSettings sheet, templ;
    templ.templateMode = true;
    TempDir dir;
    const char* docs = std::getenv("VARDELLE_DOCS_DIR");
    const std::string out = docs ? std::string(docs) + "/flower-print.pdf" : dir.file("flower-print.pdf");
    ASSERT_TRUE(view.writePDF(QString::fromStdString(out), {sheet, templ}));
    QProcess text;
    text.start("pdftotext", {"-layout", QString::fromStdString(out), "-"});
    ASSERT_TRUE(text.waitForFinished(30000));
    const QString pages = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_EQ(pages.count("ower.pes"), 2);  // "fl" may come out as a ligature
    EXPECT_TRUE(pages.contains("Version: PES")) << pages.toStdString();
    EXPECT_TRUE(pages.contains("Stitches: "));
    EXPECT_EQ(pages.count("Vardelle v"), 2);
    if (docs) {
        QProcess png;
        png.start("pdftoppm", {"-r", "60", "-png", QString::fromStdString(out), QString(docs) + "/flower-print"});
        ASSERT_TRUE(png.waitForFinished(60000));
    }
}
