// Checks the tree's layering; the build runs it as a test (see tests/tools/layering/CMakeLists.txt).
//
//   zid_layer_check <root> --platform runtime foundation ... --src QXFoundation/Log QXFoundation ...
//                   [--toolkit-free QXFoundation RuzEzo ...]
//
// Prints one line per include of a higher layer and per unlisted folder, then a
// summary. Exit status: 0 when the layers hold, 1 on findings, 2 on a usage error.

#include <exception>
#include <iostream>
#include <string>

#include "LayerCheck.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: " << argv[0] << " <root> --platform <layers...> --src <units...>\n";
        return 2;
    }
    layering::LayerOrder order;
    std::vector<std::string>* list = nullptr;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--platform") list = &order.platformLayers;
        else if (arg == "--src") list = &order.srcUnits;
        else if (arg == "--toolkit-free") list = &order.toolkitFreeUnits;
        else if (list) list->push_back(arg);
        else {
            std::cerr << "unexpected argument \"" << arg << "\" before --platform or --src\n";
            return 2;
        }
    }
    try {
        auto report = layering::checkLayers(argv[1], order);
        for (const auto& finding : report.findings) std::cout << finding.text() << "\n";
        std::cout << "Checked " << report.includesChecked << " includes in " << report.filesChecked << " files against "
                  << layering::describeOrder(argv[1], order) << ": ";
        if (report.filesChecked == 0) {
            std::cout << "no files found, nothing was checked\n";
            return 2;
        }
        if (report.findings.empty()) {
            std::cout << "the layers hold\n";
            return 0;
        }
        std::cout << report.findings.size() << " finding(s)\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "layer check: " << e.what() << "\n";
        return 2;
    }
}
