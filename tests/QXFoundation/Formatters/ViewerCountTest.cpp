#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <QXFoundation/Formatters/QXViewerCountFormatter.h>
#include <fnd/Bundle.h>

#include "ScratchDirectory.h"

namespace fs = std::filesystem;
using zid::QXViewerCountFormatter;

namespace {
std::string text(const rt::Value& count, std::uint64_t type, std::uint64_t style = 0) {
    return QXViewerCountFormatter::stringFromViewerCount(count, type, style).value_or("<nil>");
}
}  // namespace

TEST(ViewerCountTest, ShortensAboveAThousandOnlyInStyleZero) {
    EXPECT_EQ(text(1000, 0), "1000 viewers");
    EXPECT_EQ(text(1001, 0), "1001 viewers");
    EXPECT_EQ(text(9999, 0), "9999 viewers");
    EXPECT_EQ(text(10000, 0), "10.0k viewers");
    EXPECT_EQ(text(12345, 0), "12.3k viewers");
    EXPECT_EQ(text(999999, 1), "999.9k views");
    EXPECT_EQ(text(1000000, 0), "1M viewers");
    EXPECT_EQ(text(2500000, 0), "2.50M viewers");
    EXPECT_EQ(text(12345678901LL, 2), "12345.67M total views");
    EXPECT_EQ(text(12345, 0, 1), "12345 viewers");
    EXPECT_EQ(text(5, 2), "5 total views");
    EXPECT_EQ(text(0, 1), "0 views");
}

TEST(ViewerCountTest, NegativeCountsAreNoneAndNonNumbersAreNothing) {
    EXPECT_EQ(text(-5, 0), "0 viewers");
    EXPECT_EQ(QXViewerCountFormatter::shortenViewerCount(-20000), "0");
    EXPECT_FALSE(QXViewerCountFormatter::stringFromViewerCount("12", 0));
    EXPECT_FALSE(QXViewerCountFormatter::stringFromViewerCount(rt::Value(), 0));
    EXPECT_FALSE(QXViewerCountFormatter::stringFromViewerCount(12, 7));  // a type without a format
}

TEST(ViewerCountTest, FormattersAreSharedPerTypeAndStyle) {
    EXPECT_EQ(QXViewerCountFormatter::cacheKeyForType(2, 1), "viewercount-formatter-2.1");
    auto a = QXViewerCountFormatter::formatterFor(1, 0);
    EXPECT_EQ(a, QXViewerCountFormatter::formatterFor(1, 0));
    EXPECT_NE(a, QXViewerCountFormatter::formatterFor(1, 1));
    EXPECT_EQ(QXViewerCountFormatter::formatterCache().at("viewercount-formatter-1.0"), a);
    EXPECT_EQ(a->viewerCountFormatForTextRepresentation(true), "%@ views");
    EXPECT_EQ(a->viewerCountFormatForTextRepresentation(false), "%lu views");
}

TEST(ViewerCountTest, AHostTranslatesBothTheFullAndTheShortForms) {
    zidtest::ScratchDirectory scratch("qx-viewers");
    const fs::path& host = scratch.path();
    fs::create_directories(host / "en.lproj");
    std::ofstream(host / "en.lproj/Localizable.strings") << "\"%lu viewers\" = \"%lu Zuschauer\";\n"
                                                            "\"%@ viewers\" = \"%@ Zuschauer\";\n";
    fnd::Bundle::setMainBundlePath(host.string());
    EXPECT_EQ(text(999, 0), "999 Zuschauer");
    EXPECT_EQ(text(12345, 0), "12.3k Zuschauer");
    EXPECT_EQ(text(12345, 1), "12.3k views");  // untranslated keys still come from the library
    fnd::Bundle::setMainBundlePath("");
}
