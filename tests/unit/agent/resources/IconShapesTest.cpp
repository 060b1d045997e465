// The tray icons: the sizes each one carries, and outlines that tell the
// states apart for a user who cannot tell the colours apart.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/unit/agent/resources/ResourceTemplates.h"

namespace {

using restest::Bytes;
using restest::FindExact;

WORD const kGroupIcon = 14, kIconImage = 3;
LANGID const kNeutral = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);  // 2052

struct GroupEntry {
    int size;
    int bitCount;
    WORD imageId;
};

std::vector<GroupEntry> IconGroup(WORD id) {
    Bytes group = FindExact(kGroupIcon, id, kNeutral);
    std::vector<GroupEntry> entries;
    if (!group || group.size < 6) return entries;
    WORD count = 0;
    std::memcpy(&count, group.data + 4, sizeof count);
    for (WORD i = 0; i < count && 6u + 14u * (i + 1) <= group.size; ++i) {
        BYTE const* entry = group.data + 6 + 14 * i;
        WORD bitCount = 0, imageId = 0;
        std::memcpy(&bitCount, entry + 6, sizeof bitCount);
        std::memcpy(&imageId, entry + 12, sizeof imageId);
        entries.push_back({entry[0], bitCount, imageId});
    }
    return entries;
}

// The AND mask of a 16-colour image of `size` pixels: true where transparent.
std::vector<bool> Outline(WORD imageId, int size) {
    Bytes image = FindExact(kIconImage, imageId, kNeutral);
    size_t const colourRow = ((size * 4 + 31) / 32) * 4, maskRow = ((size + 31) / 32) * 4;
    size_t const maskStart = sizeof(BITMAPINFOHEADER) + 16 * sizeof(RGBQUAD) + colourRow * size;
    std::vector<bool> outline;
    if (!image || image.size < maskStart + maskRow * size) return outline;
    for (int row = size - 1; row >= 0; --row)  // stored bottom row first
        for (int x = 0; x < size; ++x)
            outline.push_back((image.data[maskStart + row * maskRow + x / 8] >> (7 - x % 8)) & 1);
    return outline;
}

struct TrayIcon {
    WORD id;
    std::vector<int> sizes;
};
std::vector<TrayIcon> const kTrayIcons = {{133, {32, 16}}, {134, {32}}, {135, {32, 16}}, {136, {32, 16}}};

TEST(Icons, EachTrayIconHoldsItsSizesInSixteenColours) {
    for (TrayIcon const& icon : kTrayIcons) {
        SCOPED_TRACE(icon.id);
        std::vector<int> sizes;
        for (GroupEntry const& entry : IconGroup(icon.id)) {
            sizes.push_back(entry.size);
            EXPECT_EQ(4, entry.bitCount);
        }
        EXPECT_EQ(icon.sizes, sizes);
    }
}

TEST(Icons, TrayIconsDifferInShapeNotOnlyInColour) {
    for (int size : {32, 16}) {
        std::vector<std::pair<WORD, std::vector<bool>>> outlines;
        for (TrayIcon const& icon : kTrayIcons)
            for (GroupEntry const& entry : IconGroup(icon.id))
                if (entry.size == size) outlines.emplace_back(icon.id, Outline(entry.imageId, size));

        size_t const pixels = static_cast<size_t>(size) * size;
        for (auto const& [id, outline] : outlines) {
            ASSERT_EQ(pixels, outline.size()) << "icon " << id;
            EXPECT_TRUE(outline.front() && outline.back()) << "icon " << id << ": opaque corner";
        }
        for (size_t a = 0; a < outlines.size(); ++a) {
            for (size_t b = a + 1; b < outlines.size(); ++b) {
                size_t differing = 0;
                for (size_t p = 0; p < pixels; ++p)
                    differing += outlines[a].second[p] != outlines[b].second[p];
                EXPECT_GE(differing, pixels / 8)
                    << "icons " << outlines[a].first << " and " << outlines[b].first << " at " << size;
            }
        }
    }
}

}  // namespace
