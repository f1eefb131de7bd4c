#include "TestSupport.h"
#include "VDLColorList.h"
#include "VDLPropertyList.h"
#include "VDLThread.h"

#include <gtest/gtest.h>

#include <map>

TEST(Color, EqualityHashAndDescription) {
    const VDLColor a(0.2, 0.4, 0.6), b(0.2, 0.4, 0.6), c(0.2, 0.4, 0.6000001);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.hash(), b.hash());
    EXPECT_FALSE(a.isEqual(c));
    EXPECT_EQ(VDLColor().red(), 0.8);
    EXPECT_EQ(VDLColor(1, 0.5, 0).description(), "RGB color (255 / 128 / 0)");
    EXPECT_EQ(VDLColor(1.5, -0.2, 0).red(), 1.5);  // unclamped
    EXPECT_EQ(VDLColor(0, 0, 1).hash(), 255u);
    EXPECT_EQ(VDLColor(-1, -1, -1).hash(), 0u);  // out-of-range components do not overflow
}

TEST(Color, ArchiveNarrowsComponentsToFloat) {
    const VDLColor original(0.1, 0.5, 1.0 / 3.0);
    VDLPlist root(plist_new_dict());
    VDLCoder coder(static_cast<plist_t>(root.get()));
    original.encodeWithCoder(coder);
    const VDLColor decoded{VDLCoder(static_cast<plist_t>(root.get()))};
    EXPECT_EQ(decoded.green(), 0.5);
    EXPECT_EQ(decoded.red(), double(0.1f));
    EXPECT_FALSE(decoded.isEqual(original));  // 0.1 and 1/3 lose their last bits
}

TEST(ColorList, ParsesSixItemLinesInFileOrder) {
    const auto list = VDLColorList::fromText(
        "any header line\n1, 0.5, 0.25, 1.0, 1.0, 1001\n2 0.1 0.2 0.3 1 x1002 trailing words\n"
        "3 0.1 0.2 0.3 1\n"              // five items: skipped
        "4\t0.7\t0.7\t0.7\t1\t1001\r\n"  // CR LF, repeated key
        "5 0.3 0.3 0.3 1 crlf\r\n");
    EXPECT_EQ(list.allSortedKeys(), (std::vector<std::string>{"1001", "x1002", "1001", "crlf"}));
    EXPECT_EQ(list.allKeys(), (std::vector<std::string>{"1001", "x1002", "crlf"}));
    EXPECT_EQ(*list.colorWithKey("1001"), VDLColor(double(0.7f), double(0.7f), double(0.7f)));  // later wins
    EXPECT_EQ(*list.colorWithKey("x1002"), VDLColor(double(0.1f), double(0.2f), double(0.3f)));
    EXPECT_TRUE(list.colorWithKey("crlf").has_value());  // the CR is a separator, not part of the key
    EXPECT_FALSE(list.colorWithKey("3").has_value());
    EXPECT_TRUE(VDLColorList::fromText("header only").isEmpty());
    EXPECT_TRUE(VDLColorList::fromText("header\n").isEmpty());
    EXPECT_TRUE(VDLColorList("x", "/nonexistent/file.clr").isEmpty());
}

TEST(ColorList, EveryShippedPaletteLoadsWithItsKeys) {
    const std::map<std::string, size_t> expected = {
        {"Undefined", 20},          {"Brother", 64},           {"Janome", 78},
        {"Pfaff", 419},             {"Sulky Rayon", 289},      {"Robison-Anton Poly", 447},
        {"Poly-X40 Polyester", 286}, {"Marathon Rayon", 317},  {"Madeira Rayon", 357},
        {"Madeira Polyneon", 349},  {"Fufu Rayon", 713},       {"Floriani Polyester", 286},
        {"Coats Trilobal", 399},    {"Coats Rayon", 500},      {"Brother Country", 61},
        {"Ackermann Isacord", 390}, {"WonderFil Splendor", 342},
    };
    for (const auto& [palette, keys] : expected) {
        auto list = VDLColorList::colorListForPalette(palette);
        EXPECT_EQ(list->allKeys().size(), keys) << palette;
        // Every key has a name in the palette's table.
        for (const auto& k : list->allKeys())
            EXPECT_NE(VDLThread(k, palette).name(), "Unknown color") << palette << " " << k;
    }
}

TEST(Thread, FromPaletteKeyOrGreyIndividualColour) {
    const VDLThread seven("7", "Undefined");
    EXPECT_EQ(seven.color(), *VDLColorList::colorListForPalette("Undefined")->colorWithKey("7"));
    EXPECT_EQ(seven.paletteName(), "Undefined");
    EXPECT_EQ(seven.tension(), 13);
    EXPECT_TRUE(seven.isShown());

    const VDLThread missing("99", "Undefined");
    EXPECT_EQ(missing.color(), VDLColor());
    EXPECT_EQ(missing.name(), "Individual color (204, 204, 204)");
    EXPECT_EQ(missing.paletteName(), "");
    EXPECT_EQ(missing.key(), "99");
    EXPECT_EQ(missing.palette(), "Undefined");

    const VDLThread noChart("1", "No Such Palette");
    EXPECT_EQ(noChart.paletteName(), "");
    EXPECT_EQ(VDLThread("005", "Brother").paletteName(), "Brother");
}

TEST(Thread, NearestColourKeepsLowercaseXEntriesInTheirChart) {
    const VDLColor x9 = *VDLColorList::colorListForPalette("Brother")->colorWithKey("x9");
    VDLThread foreign("002", "Janome");
    foreign.setLength(12.5f);
    foreign.setTension(7);
    ASSERT_TRUE(foreign.changeToColor(x9, "Brother"));
    EXPECT_EQ(foreign.palette(), "Brother");
    EXPECT_NE(foreign.key(), "x9");  // another chart: x entries are never picked
    EXPECT_NE(foreign.key()[0], 'x');
    EXPECT_EQ(foreign.length(), 12.5f);  // length and tension survive recolouring
    EXPECT_EQ(foreign.tension(), 7);

    VDLThread own("005", "Brother");
    own.changeToColor(x9, "Brother");
    EXPECT_EQ(own.key(), "x9");  // within the same chart they may be chosen
    EXPECT_EQ(own.color(), x9);
}

TEST(Thread, ExactMatchAndDistanceFormula) {
    // An exact chart colour is matched to its key.
    const auto madeira = VDLColorList::colorListForPalette("Madeira Rayon");
    const std::string someKey = madeira->allSortedKeys().at(10);
    VDLThread t("1", "Undefined");
    t.changeToColor(*madeira->colorWithKey(someKey), "Madeira Rayon");
    EXPECT_EQ(t.key(), someKey);
    EXPECT_EQ(t.paletteName(), "Madeira Rayon");

    // The weighted distance prefers a green difference less than a red one of the same size.
    // Undefined "1" is black; a target of (0, 0.05, 0.05)... stays black against brighter keys.
    VDLThread black("2", "Undefined");
    black.changeToColor(VDLColor(0.02, 0.02, 0.02), "Undefined");
    EXPECT_EQ(black.key(), "1");
}

TEST(Thread, IndividualColourAndEmptyChart) {
    VDLThread t("5", "Undefined");
    const VDLColor target(0.123, 0.456, 0.789);
    t.changeToColor(target, "");
    EXPECT_EQ(t.color(), target);  // kept exactly
    EXPECT_EQ(t.key(), "");
    EXPECT_EQ(t.palette(), "");
    EXPECT_EQ(t.paletteName(), "Threadcolors");
    EXPECT_EQ(t.name(), "Individual color (31, 116, 201)");

    VDLThread u("5", "Undefined");
    u.changeToColor(target, "No Such Palette");
    EXPECT_EQ(u.color(), VDLColor());
    EXPECT_EQ(u.key(), "");
    EXPECT_EQ(u.name(), "");
    EXPECT_EQ(u.palette(), "No Such Palette");
}

TEST(Thread, CopiesAreIndependentAndArchivesRoundTrip) {
    VDLThread a("3", "Undefined");
    VDLThread b = a;
    b.setColor(VDLColor(0, 0, 0));
    EXPECT_NE(a.color(), b.color());

    a.addLength(2.5f);
    a.setTension(9);
    a.setIsShown(false);
    VDLPlist root(plist_new_dict());
    VDLCoder coder(static_cast<plist_t>(root.get()));
    a.encodeWithCoder(coder);
    const VDLThread back{VDLCoder(static_cast<plist_t>(root.get()))};
    EXPECT_EQ(back.key(), "3");
    EXPECT_EQ(back.palette(), "Undefined");
    EXPECT_EQ(back.name(), a.name());
    EXPECT_EQ(back.length(), 2.5f);
    EXPECT_EQ(back.tension(), 9);
    EXPECT_FALSE(back.isShown());
    EXPECT_EQ(a.description(),
              "Embroidery Thread: color=" + a.color().description() + " of palette Undefined, name=" + a.name() +
                  ", key=3, length=2.5, tension=9");
}
