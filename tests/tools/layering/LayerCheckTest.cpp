#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "LayerCheck.h"
#include "ScratchDirectory.h"

namespace {

namespace fs = std::filesystem;

// A small tree shaped like ours: three platform layers, two modules, one module part.
class LayerTree : public ::testing::Test {
protected:
    zidtest::ScratchDirectory scratch{"zid-layers"};
    layering::LayerOrder order{{"runtime", "foundation", "net"}, {"Base/Log", "Base", "Top"}};

    void SetUp() override {
        write("platform/runtime/include/rt/Object.h", "#pragma once\n");
        write("platform/foundation/include/fnd/RunLoop.h", "#pragma once\n#include <rt/Object.h>\n");
        write("platform/foundation/src/Private.h", "#pragma once\n");
        write("platform/foundation/src/RunLoop.cpp", "#include <fnd/RunLoop.h>\n#include \"Private.h\"\n#include <vector>\n");
        write("platform/net/include/net/Http.h", "#pragma once\n#include <fnd/RunLoop.h>\n");
        write("src/Base/Log/Logger.h", "#pragma once\n#include <fnd/RunLoop.h>\n");
        write("src/Base/Device/Device.h", "#pragma once\n#include <Base/Log/Logger.h>\n#include <net/Http.h>\n");
        write("src/Top/Player.h", "#pragma once\n#include <Base/Device/Device.h>\n");
    }

    void write(const std::string& path, const std::string& text) {
        fs::path file = scratch / path;
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text;
    }

    layering::LayerReport check() { return layering::checkLayers(scratch.path(), order); }

    static std::vector<std::string> texts(const layering::LayerReport& report) {
        std::vector<std::string> lines;
        for (const auto& finding : report.findings) lines.push_back(finding.text());
        return lines;
    }
};

TEST_F(LayerTree, DownwardIncludesHoldAndEveryFileIsCounted) {
    auto report = check();
    EXPECT_TRUE(report.findings.empty()) << ::testing::PrintToString(texts(report));
    EXPECT_EQ(report.filesChecked, 8u);
    EXPECT_EQ(report.includesChecked, 8u) << "<vector> is not the tree's own header";
    EXPECT_EQ(layering::describeOrder(scratch.path(), order), "rt < fnd < net < Base/Log < Base < Top");
}

TEST_F(LayerTree, AnUpwardIncludeIsReportedWithFileLineAndBothLayers) {
    write("platform/foundation/src/Clock.cpp", "#include <fnd/RunLoop.h>\n\n#include <net/Http.h>\n");
    write("src/Base/Device/Device.cpp", "// #include <Top/Player.h> in a comment is no include\n#include <Top/Player.h>\n");
    auto report = check();
    ASSERT_EQ(report.findings.size(), 2u) << ::testing::PrintToString(texts(report));
    EXPECT_EQ(report.findings[0].file, "platform/foundation/src/Clock.cpp");
    EXPECT_EQ(report.findings[0].line, 3);
    EXPECT_EQ(report.findings[0].text().rfind("platform/foundation/src/Clock.cpp:3: error: fnd may not include <net/Http.h> of net", 0), 0u)
        << report.findings[0].text();
    EXPECT_EQ(report.findings[1].file, "src/Base/Device/Device.cpp");
    EXPECT_EQ(report.findings[1].line, 2);
    EXPECT_NE(report.findings[1].message.find("Base may not include <Top/Player.h> of Top"), std::string::npos);
}

TEST_F(LayerTree, AModulePartMayNotReachTheRestOfItsModule) {
    write("src/Base/Log/Central.cpp", "#include <Base/Log/Logger.h>\n#include <Base/Device/Device.h>\n");
    auto report = check();
    ASSERT_EQ(report.findings.size(), 1u) << ::testing::PrintToString(texts(report));
    EXPECT_EQ(report.findings[0].file, "src/Base/Log/Central.cpp");
    EXPECT_EQ(report.findings[0].line, 2);
    EXPECT_NE(report.findings[0].message.find("Base/Log may not include <Base/Device/Device.h> of Base"), std::string::npos);
}

TEST_F(LayerTree, PlatformNeverIncludesSrc) {
    write("platform/net/src/Http.cpp", "#include <net/Http.h>\n#include <Base/Log/Logger.h>\n");
    auto report = check();
    ASSERT_EQ(report.findings.size(), 1u) << ::testing::PrintToString(texts(report));
    EXPECT_EQ(report.findings[0].line, 2);
    EXPECT_NE(report.findings[0].message.find("nothing in platform/ depends on src/"), std::string::npos);
}

TEST_F(LayerTree, QuotedIncludesResolveBesideTheFileFirst) {
    // Beside the file: a private header of the same layer, or a path that climbs into
    // another unit; neither is taken for a same-named header of another layer.
    write("src/Base/Log/Http.h", "#pragma once\n");
    write("src/Base/Log/Sink.cpp", "#include \"Http.h\"\n#include \"../Device/Device.h\"\n#include \"Base/Log/Logger.h\"\n");
    auto report = check();
    ASSERT_EQ(report.findings.size(), 1u) << ::testing::PrintToString(texts(report));
    EXPECT_EQ(report.findings[0].line, 2);
    EXPECT_NE(report.findings[0].message.find("\"../Device/Device.h\" of Base"), std::string::npos);
}

TEST_F(LayerTree, SystemHeadersSharingAPrefixAreNotTheLayers) {
    // <net/if.h> is the system's, not the net layer's: fnd may include it.
    write("platform/foundation/src/Interfaces.cpp", "#include <net/if.h>\n#  include   <rt/Object.h>\n#include_next <net/Http.h>\n");
    auto report = check();
    EXPECT_TRUE(report.findings.empty()) << ::testing::PrintToString(texts(report));
}

TEST_F(LayerTree, AFolderInNoLayerIsReportedSoNewModulesGetListed) {
    write("src/Fresh/Thing.h", "#pragma once\n#include <Top/Player.h>\n");
    write("platform/media/include/media/Player.h", "#pragma once\n");
    auto report = check();
    ASSERT_EQ(report.findings.size(), 2u) << ::testing::PrintToString(texts(report));
    EXPECT_EQ(report.findings[0].file, "platform/media");
    EXPECT_EQ(report.findings[1].file, "src/Fresh");
    EXPECT_NE(report.findings[1].message.find("add its name to the layer order"), std::string::npos);

    order.srcUnits.insert(order.srcUnits.begin() + 2, "Fresh");  // listed below Top: its include goes up
    order.platformLayers.push_back("media");
    report = check();
    ASSERT_EQ(report.findings.size(), 1u) << ::testing::PrintToString(texts(report));
    EXPECT_EQ(report.findings[0].file, "src/Fresh/Thing.h");
}

TEST_F(LayerTree, ModulesWithAPublicIncludeFolderAreUnderstood) {
    // src/M/include/M/... is included as <M/...>; src/M/src/... belongs to M.
    write("src/Top/include/Top/View.h", "#pragma once\n");
    write("src/Base/include/Base/Log/Sink.h", "#pragma once\n");
    write("src/Base/src/Widget.cpp", "#include <Base/Log/Sink.h>\n#include <Top/View.h>\n");
    write("src/Base/Log/Sink.cpp", "#include <Base/Log/Sink.h>\n");
    auto report = check();
    ASSERT_EQ(report.findings.size(), 1u) << ::testing::PrintToString(texts(report));
    EXPECT_EQ(report.findings[0].file, "src/Base/src/Widget.cpp");
    EXPECT_EQ(report.findings[0].line, 2);
}

TEST_F(LayerTree, ToolkitFreeUnitsMayNotIncludeTheToolkitButTheirUpperPartMay) {
    // Base stays free of the toolkit; its part Base/Ui (a library of its own, included
    // as <Base/Ui/...> from its own include folder) sits above Base and may use it.
    order = {{"runtime", "foundation", "net", "ui"}, {"Base", "Base/Ui", "Top"}, {"Base"}};
    write("platform/ui/include/ui/Button.h", "#pragma once\n");
    write("src/Base/Ui/include/Base/Ui/ButtonSignal.h", "#pragma once\n#include <ui/Button.h>\n#include <Base/Device/Device.h>\n");
    write("src/Base/Signal.cpp", "#include <rt/Object.h>\n#include <ui/Button.h>\n");
    write("src/Base/Sneaky.cpp", "#include <Base/Ui/ButtonSignal.h>\n");
    write("src/Top/Screen.cpp", "#include <Base/Ui/ButtonSignal.h>\n#include <ui/Button.h>\n");
    auto report = check();
    ASSERT_EQ(report.findings.size(), 2u) << ::testing::PrintToString(texts(report));
    EXPECT_EQ(report.findings[0].file, "src/Base/Signal.cpp");
    EXPECT_EQ(report.findings[0].line, 2);
    EXPECT_NE(report.findings[0].message.find("Base may not include <ui/Button.h> of the interface toolkit"), std::string::npos);
    EXPECT_EQ(report.findings[1].file, "src/Base/Sneaky.cpp");
    EXPECT_NE(report.findings[1].message.find("Base may not include <Base/Ui/ButtonSignal.h> of Base/Ui"), std::string::npos);
    EXPECT_EQ(layering::describeOrder(scratch.path(), order), "rt < fnd < net < ui < Base < Base/Ui < Top");
}

TEST(LayerCheck, ARootWithoutTheTreeIsAnError) {
    zidtest::ScratchDirectory empty("zid-layers-empty");
    EXPECT_THROW(layering::checkLayers(empty.path(), {{"runtime"}, {"Base"}}), std::runtime_error);
}

}  // namespace
