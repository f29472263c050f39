#include "core/settings.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>

namespace zfe::core {
namespace {

// The store as a plain map: what the load step reads and the unload step
// writes can be inspected key by key.
class MapStore : public SettingsStore {
public:
    std::string get(const std::string& section, const std::string& key,
                    const std::string& defaultText) const override {
        const auto it = values.find({section, key});
        return it == values.end() ? defaultText : it->second;
    }
    void save(const std::string& section, const std::string& key,
              const std::string& text) override {
        values[{section, key}] = text;
        writes.push_back(section + "/" + key);
    }

    std::map<std::pair<std::string, std::string>, std::string> values;
    std::vector<std::string> writes;
};

const std::vector<PixelRect> kOneScreen = {{0, 0, 1920, 1080}};

WindowPlacement placementAt(PixelPoint current, std::vector<PixelRect> screens = kOneScreen) {
    return WindowPlacement{current, 561, 24, std::move(screens)};
}

TEST(SettingsTextForms, SingleWholeNumbersArePlainDigits) {
    EXPECT_EQ(singleToText(1440.0f), "1440");
    EXPECT_EQ(singleToText(-300.0f), "-300");
    EXPECT_EQ(singleToText(0.0f), "0");
    EXPECT_EQ(singleToText(-0.0f), "0");
    EXPECT_EQ(singleToText(16777215.0f), "16777215");
}

TEST(SettingsTextForms, SingleReadsBack) {
    EXPECT_EQ(singleFromText("1440"), 1440.0f);
    EXPECT_EQ(singleFromText("-300"), -300.0f);
    EXPECT_EQ(singleFromText(" 960 "), 960.0f);
    EXPECT_EQ(singleFromText("+15"), 15.0f);
    EXPECT_EQ(singleFromText("7.5"), 7.5f);
    EXPECT_EQ(singleFromText("7,5"), 7.5f);
    EXPECT_EQ(singleFromText(singleToText(7.25f)), 7.25f);
}

TEST(SettingsTextForms, SingleRejectsWhatIsNotANumber) {
    for (const char* text : {"", " ", "abc", "12abc", "1 2", "nan", "inf", "--3", "1e99"}) {
        EXPECT_FALSE(singleFromText(text).has_value()) << '"' << text << '"';
    }
}

TEST(SettingsTextForms, Int16) {
    EXPECT_EQ(int16ToText(2), "2");
    EXPECT_EQ(int16ToText(-1), "-1");
    EXPECT_EQ(int16FromText("1"), 1);
    EXPECT_EQ(int16FromText(" 2 "), 2);
    EXPECT_EQ(int16FromText("-32768"), -32768);
    for (const char* text : {"", "x", "1.0", "32768", "-32769", "1 1", "0x1"}) {
        EXPECT_FALSE(int16FromText(text).has_value()) << '"' << text << '"';
    }
}

TEST(SettingsTextForms, TwipsAndPixels) {
    EXPECT_EQ(pixelsToTwips(96), 1440.0f);
    EXPECT_EQ(twipsToPixels(960.0f), 64);
    EXPECT_EQ(twipsToPixels(-300.0f), -20);
    EXPECT_EQ(twipsToPixels(22.0f), 1);  // rounded to the nearest pixel
    EXPECT_FALSE(twipsToPixels(1e30f).has_value());
}

TEST(SettingsLoad, FirstRunUsesTheDefaultsAndWritesNothing) {
    MapStore store;
    const PixelPoint created{123, 45};
    EXPECT_EQ(restoredPosition(store, placementAt(created)), created);
    EXPECT_EQ(restoredSetType(store), 0);
    EXPECT_EQ(restoredCompact(store), 0);
    EXPECT_TRUE(store.values.empty());
}

TEST(SettingsLoad, StoredPositionAndOptions) {
    MapStore store;
    store.values[{"Position", "Left"}] = "1440";
    store.values[{"Position", "Top"}] = "960";
    store.values[{"Options", "SetType"}] = "1";
    store.values[{"Options", "chkTiny"}] = "1";
    EXPECT_EQ(restoredPosition(store, placementAt({0, 0})), (PixelPoint{96, 64}));
    EXPECT_EQ(restoredSetType(store), 1);
    EXPECT_EQ(restoredCompact(store), 1);
    store.values[{"Options", "SetType"}] = "3";  // Full non merged
    EXPECT_EQ(restoredSetType(store), 3);
}

TEST(SettingsLoad, OneEdgeStoredMovesOnlyThatEdge) {
    MapStore store;
    store.values[{"Position", "Top"}] = "1500";
    EXPECT_EQ(restoredPosition(store, placementAt({30, 40})), (PixelPoint{30, 100}));
}

TEST(SettingsLoad, ValuesThatAreNotNumbersOrOutOfRangeCountAsMissing) {
    MapStore store;
    store.values[{"Position", "Left"}] = "sinistra";
    store.values[{"Position", "Top"}] = "960";
    store.values[{"Options", "SetType"}] = "4";
    store.values[{"Options", "chkTiny"}] = "-1";
    EXPECT_EQ(restoredPosition(store, placementAt({10, 20})), (PixelPoint{10, 64}));
    EXPECT_EQ(restoredSetType(store), 0);
    EXPECT_EQ(restoredCompact(store), 0);

    store.values[{"Options", "SetType"}] = "Merged";
    store.values[{"Options", "chkTiny"}] = "2";
    EXPECT_EQ(restoredSetType(store), 0);
    EXPECT_EQ(restoredCompact(store), 0);
    store.values[{"Options", "SetType"}] = "-1";
    store.values[{"Options", "chkTiny"}] = "";
    EXPECT_EQ(restoredSetType(store), 0);
    EXPECT_EQ(restoredCompact(store), 0);
}

TEST(SettingsLoad, PositionWithTheTitleBarOffEveryScreenIsDropped) {
    MapStore store;
    const PixelPoint created{50, 60};
    const auto restoreAt = [&](const char* left, const char* top,
                               std::vector<PixelRect> screens = kOneScreen) {
        store.values[{"Position", "Left"}] = left;
        store.values[{"Position", "Top"}] = top;
        return restoredPosition(store, placementAt(created, std::move(screens)));
    };
    // Beyond the right and bottom edges, above the top, far to the left.
    EXPECT_EQ(restoreAt("30000", "960"), created);
    EXPECT_EQ(restoreAt("1440", "16500"), created);
    EXPECT_EQ(restoreAt("1440", "-600"), created);
    EXPECT_EQ(restoreAt("-9000", "960"), created);
    // Partly off the screen but still grabbable.
    EXPECT_EQ(restoreAt("-3000", "960"), (PixelPoint{-200, 64}));
    EXPECT_EQ(restoreAt("27600", "960"), (PixelPoint{1840, 64}));
}

TEST(SettingsLoad, NegativeLeftEdgeOnAScreenLeftOfThePrimaryIsKept) {
    MapStore store;
    store.values[{"Position", "Left"}] = "-300";
    store.values[{"Position", "Top"}] = "960";
    const std::vector<PixelRect> twoScreens = {{0, 0, 1920, 1080}, {-1280, 0, 1280, 1024}};
    EXPECT_EQ(restoredPosition(store, placementAt({0, 0}, twoScreens)), (PixelPoint{-20, 64}));
    store.values[{"Position", "Left"}] = "-18000";
    EXPECT_EQ(restoredPosition(store, placementAt({0, 0}, twoScreens)), (PixelPoint{-1200, 64}));
    // Without the left-hand screen that far left is nowhere.
    EXPECT_EQ(restoredPosition(store, placementAt({0, 0})), (PixelPoint{0, 0}));
}

TEST(SettingsUnload, WritesTheFourKeysInOrder) {
    MapStore store;
    saveWindowSettings(store, {false, false, true}, 1, PixelPoint{96, 64});
    EXPECT_EQ(store.writes, (std::vector<std::string>{"Options/SetType", "Options/chkTiny",
                                                      "Position/Top", "Position/Left"}));
    EXPECT_EQ((store.values[{"Options", "SetType"}]), "2");
    EXPECT_EQ((store.values[{"Options", "chkTiny"}]), "1");
    EXPECT_EQ((store.values[{"Position", "Top"}]), "960");
    EXPECT_EQ((store.values[{"Position", "Left"}]), "1440");
}

TEST(SettingsUnload, RoundTripThroughTheStore) {
    MapStore store;
    saveWindowSettings(store, {false, true, false}, 0, PixelPoint{-20, 64});
    EXPECT_EQ((store.values[{"Position", "Left"}]), "-300");
    const std::vector<PixelRect> twoScreens = {{0, 0, 1920, 1080}, {-1280, 0, 1280, 1024}};
    EXPECT_EQ(restoredPosition(store, placementAt({400, 300}, twoScreens)), (PixelPoint{-20, 64}));
    EXPECT_EQ(restoredSetType(store), 1);
    EXPECT_EQ(restoredCompact(store), 0);
}

TEST(SettingsUnload, NoOptionSelectedSavesNoSetType) {
    MapStore store;
    saveWindowSettings(store, {false, false, false}, 0, PixelPoint{0, 0});
    EXPECT_EQ(store.values.count({"Options", "SetType"}), 0u);
    EXPECT_EQ(store.writes.size(), 3u);
}

}  // namespace
}  // namespace zfe::core

namespace zfe::core {
namespace {

TEST(ResultWindowSize, KeptInTwipsAndRefusedWhenMissingBrokenOrTooSmall) {
    MapStore store;
    const PixelSize minimum{300, 200};
    EXPECT_FALSE(restoredResultSize(store, minimum).has_value());
    saveResultSize(store, {800, 600});
    EXPECT_EQ((store.values[{"Result", "Width"}]), "12000");
    const auto restored = restoredResultSize(store, minimum);
    ASSERT_TRUE(restored.has_value());
    EXPECT_EQ(restored->width, 800);
    EXPECT_EQ(restored->height, 600);
    for (const char* height : {"", "tall", "1500", "99999999999"}) {
        store.values[{"Result", "Height"}] = height;
        EXPECT_FALSE(restoredResultSize(store, minimum).has_value()) << height;
    }
}

}  // namespace
}  // namespace zfe::core
