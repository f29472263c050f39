#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zfe::core {

// Window positions are kept in twips; the toolkit works in device-independent
// pixels.
inline constexpr int kTwipsPerPixel = 15;

// Every setting lives under this application name, in two sections.
inline constexpr const char* kSettingsApplicationName = "ZandorelFE";
inline constexpr const char* kPositionSection = "Position";
inline constexpr const char* kOptionsSection = "Options";

// The per-user store of text values, addressed by section and key under the
// application name.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // The stored text, or `defaultText` when the key is missing. Never changes
    // the store.
    virtual std::string get(const std::string& section, const std::string& key,
                            const std::string& defaultText) const = 0;
    // Creates the section and key as needed and replaces any earlier value. A
    // value that cannot be written is dropped without a word: losing a window
    // position is not worth interrupting the user for.
    virtual void save(const std::string& section, const std::string& key,
                      const std::string& text) = 0;
};

// The text forms of the stored values.
// A single-precision number: whole numbers as plain digits ("1440", "-300").
std::string singleToText(float value);
// Accepts surrounding blanks and "." or "," as the decimal separator; nothing
// else that is not part of the number.
std::optional<float> singleFromText(std::string_view text);
std::string int16ToText(std::int16_t value);
std::optional<std::int16_t> int16FromText(std::string_view text);

float pixelsToTwips(int pixels);
// Nothing when the twips are beyond any sensible screen coordinate.
std::optional<int> twipsToPixels(float twips);

struct PixelPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const PixelPoint&, const PixelPoint&) = default;
};

struct PixelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// A window is worth restoring at a position only when the user can still grab
// its title bar there: at least this much of the bar must lie on one screen.
inline constexpr int kMinimumGrabWidth = 40;
inline constexpr int kMinimumGrabHeight = 8;

bool titleBarOnSomeScreen(PixelPoint frameTopLeft, int frameWidth, int titleBarHeight,
                          const std::vector<PixelRect>& screens);

// The main window's frame as the load step sees it.
struct WindowPlacement {
    PixelPoint current;  // where the window is now (its frame's top-left corner)
    int frameWidth = 0;
    int titleBarHeight = 0;
    std::vector<PixelRect> screens;
};

// "Left", then "Top", each with the window's current edge as default. A value
// that is not a number counts as missing; a pair that would put the title bar
// off every screen is dropped as a whole, and the window stays where it is.
PixelPoint restoredPosition(const SettingsStore& store, const WindowPlacement& window);

// The set-type options of the main window by index, which is both the stored
// "SetType" and the choice of the diff tool's option: 0 Split, 1 Merged,
// 2 Non merged, 3 Full non merged.
inline constexpr std::size_t kSetTypeCount = 4;
using SetTypeSelection = std::array<bool, kSetTypeCount>;

// "SetType" (an index of the set-type options) and "chkTiny" (0 or 1), each 0
// when missing, not a number or out of range.
int restoredSetType(const SettingsStore& store);
int restoredCompact(const SettingsStore& store);

// The unload step's writes, in their order: "SetType" for the selected option,
// "chkTiny", "Top", "Left".
void saveWindowSettings(SettingsStore& store, const SetTypeSelection& setTypeSelected,
                        int compact, PixelPoint frameTopLeft);

// The result window's size, kept in twips as "Width" and "Height" of the
// section "Result". Nothing when either is missing, not a number, or smaller
// than `minimum` (a size the window cannot be used at).
inline constexpr const char* kResultSection = "Result";
struct PixelSize {
    int width = 0;
    int height = 0;
};
std::optional<PixelSize> restoredResultSize(const SettingsStore& store, PixelSize minimum);
void saveResultSize(SettingsStore& store, PixelSize size);

}  // namespace zfe::core
