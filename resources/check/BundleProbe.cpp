// Prints where each library's resource bundle is found and one text read through the
// lookup path, so a check can tell an installed program finds its installed bundles.

#include <cstdio>
#include <string>

#include <QXFoundation/Extensions/BundleExtensions.h>

int main() {
    int missing = 0;
    for (const char* name : {"QXFoundation", "RuzEzo", "RudoreVaz", "QXNetworking"}) {
        auto path = zid::locateBundleWithName(name);
        std::printf("%s=%s\n", name, path ? path->c_str() : "(not found)");
        if (!path) ++missing;
    }
    std::string text = zid::localizedStringForKey("app.date.justnow", zid::QXFoundationBundle());
    std::printf("text=%s\n", text.c_str());
    return missing == 0 && text != "app.date.justnow" ? 0 : 1;
}
