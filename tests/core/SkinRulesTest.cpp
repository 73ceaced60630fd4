#include "core/SkinRules.h"

#include <gtest/gtest.h>

namespace vardelo {
namespace {

TEST(SkinDirectory, ResolvesAgainstTheProgramFolder) {
    EXPECT_EQ(resolveSkinDirectory("./Skins", "/opt/vardelo"), "/opt/vardelo/Skins");
    EXPECT_EQ(resolveSkinDirectory(".\\Skins", "/opt/vardelo/"), "/opt/vardelo/Skins");
    EXPECT_EQ(resolveSkinDirectory("Skins", "/opt/vardelo"), "/opt/vardelo/Skins");
    EXPECT_EQ(resolveSkinDirectory("../Skins", "/opt/vardelo"), "/opt/Skins");
    EXPECT_EQ(resolveSkinDirectory("C:\\Skins", "/opt/vardelo"), "C:\\Skins");
}

TEST(SkinUrls, RelativeImagesPointIntoTheSkinsFolder) {
    EXPECT_EQ(resolveSkinUrls("QPushButton { image: url(img/a.png); }", "/s/WMP11"),
              "QPushButton { image: url(\"/s/WMP11/img/a.png\"); }");
    EXPECT_EQ(resolveSkinUrls("a: url( 'b c.svg' ) x", "/s/Z/"), "a: url(\"/s/Z/b c.svg\") x");
    EXPECT_EQ(resolveSkinUrls("a: url(:/icons/x.svg); b: url(/abs.png)", "/s"),
              "a: url(\":/icons/x.svg\"); b: url(\"/abs.png\")");
    EXPECT_EQ(resolveSkinUrls("broken url(never closed", "/s"), "broken url(never closed");
}

} // namespace
} // namespace vardelo
