#include "core/settings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace zfe::core {

namespace {

std::string_view trimmed(std::string_view text) {
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Far beyond any desktop, still safely inside an int once converted to pixels.
constexpr float kLargestScreenCoordinate = 1'000'000.0f;

}  // namespace

std::string singleToText(float value) {
    if (value == 0.0f) {
        return "0";  // never "-0"
    }
    char buffer[32];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (error != std::errc{}) {
        return "0";
    }
    return std::string(buffer, end);
}

std::optional<float> singleFromText(std::string_view text) {
    std::string number(trimmed(text));
    // Whoever wrote the value may use a decimal comma.
    std::replace(number.begin(), number.end(), ',', '.');
    if (number.empty()) {
        return std::nullopt;
    }
    const char* first = number.data();
    if (*first == '+') ++first;  // from_chars takes "-" but not "+"
    float value = 0.0f;
    const auto [end, error] = std::from_chars(first, number.data() + number.size(), value);
    if (error != std::errc{} || end != number.data() + number.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::string int16ToText(std::int16_t value) {
    return std::to_string(value);
}

std::optional<std::int16_t> int16FromText(std::string_view text) {
    text = trimmed(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    std::int16_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

float pixelsToTwips(int pixels) {
    return static_cast<float>(pixels) * kTwipsPerPixel;
}

std::optional<int> twipsToPixels(float twips) {
    const float pixels = twips / kTwipsPerPixel;
    if (!std::isfinite(pixels) || std::fabs(pixels) > kLargestScreenCoordinate) {
        return std::nullopt;
    }
    return static_cast<int>(std::lround(pixels));
}

bool titleBarOnSomeScreen(PixelPoint frameTopLeft, int frameWidth, int titleBarHeight,
                          const std::vector<PixelRect>& screens) {
    const long barLeft = frameTopLeft.x;
    const long barTop = frameTopLeft.y;
    const long barRight = barLeft + std::max(frameWidth, 1);
    const long barBottom = barTop + std::max(titleBarHeight, 1);
    const long neededWidth = std::min<long>(kMinimumGrabWidth, barRight - barLeft);
    const long neededHeight = std::min<long>(kMinimumGrabHeight, barBottom - barTop);
    return std::any_of(screens.begin(), screens.end(), [&](const PixelRect& screen) {
        const long visibleWidth = std::min<long>(barRight, long{screen.left} + screen.width) -
                                  std::max<long>(barLeft, screen.left);
        const long visibleHeight = std::min<long>(barBottom, long{screen.top} + screen.height) -
                                   std::max<long>(barTop, screen.top);
        return visibleWidth >= neededWidth && visibleHeight >= neededHeight;
    });
}

PixelPoint restoredPosition(const SettingsStore& store, const WindowPlacement& window) {
    const auto storedEdge = [&](const char* key, int currentPixels) {
        const std::string text =
            store.get(kPositionSection, key, singleToText(pixelsToTwips(currentPixels)));
        const std::optional<float> twips = singleFromText(text);
        const std::optional<int> pixels = twips ? twipsToPixels(*twips) : std::nullopt;
        return pixels.value_or(currentPixels);
    };
    const int left = storedEdge("Left", window.current.x);
    const int top = storedEdge("Top", window.current.y);
    const PixelPoint restored{left, top};
    if (restored == window.current ||
        !titleBarOnSomeScreen(restored, window.frameWidth, window.titleBarHeight, window.screens)) {
        return window.current;
    }
    return restored;
}

namespace {

int storedOption(const SettingsStore& store, const char* key, int highest) {
    const std::optional<std::int16_t> value =
        int16FromText(store.get(kOptionsSection, key, int16ToText(0)));
    if (!value || *value < 0 || *value > highest) {
        return 0;
    }
    return *value;
}

}  // namespace

int restoredSetType(const SettingsStore& store) {
    return storedOption(store, "SetType", static_cast<int>(kSetTypeCount) - 1);
}

int restoredCompact(const SettingsStore& store) {
    return storedOption(store, "chkTiny", 1);
}

void saveWindowSettings(SettingsStore& store, const SetTypeSelection& setTypeSelected,
                        int compact, PixelPoint frameTopLeft) {
    for (std::int16_t index = 0; index < static_cast<std::int16_t>(kSetTypeCount); ++index) {
        if (setTypeSelected[static_cast<std::size_t>(index)]) {
            store.save(kOptionsSection, "SetType", int16ToText(index));
        }
    }
    store.save(kOptionsSection, "chkTiny", int16ToText(static_cast<std::int16_t>(compact)));
    store.save(kPositionSection, "Top", singleToText(pixelsToTwips(frameTopLeft.y)));
    store.save(kPositionSection, "Left", singleToText(pixelsToTwips(frameTopLeft.x)));
}

std::optional<PixelSize> restoredResultSize(const SettingsStore& store, PixelSize minimum) {
    const auto stored = [&](const char* key) -> std::optional<int> {
        const std::optional<float> twips = singleFromText(store.get(kResultSection, key, ""));
        return twips ? twipsToPixels(*twips) : std::nullopt;
    };
    const std::optional<int> width = stored("Width");
    const std::optional<int> height = stored("Height");
    if (!width || !height || *width < minimum.width || *height < minimum.height) return std::nullopt;
    return PixelSize{*width, *height};
}

void saveResultSize(SettingsStore& store, PixelSize size) {
    store.save(kResultSection, "Width", singleToText(pixelsToTwips(size.width)));
    store.save(kResultSection, "Height", singleToText(pixelsToTwips(size.height)));
}

}  // namespace zfe::core
