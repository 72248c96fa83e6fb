// The encoder module is found beside the program (the build tree) or, once
// installed, in ../lib/dorvane/ from the program's folder; the real module,
// copied there, loads.

#include "TestSupport.h"
#include "general/modGeneral.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <filesystem>

namespace fs = std::filesystem;

TEST(PrivateModulePath, BesideTheProgramFirstThenTheInstalledPlace) {
    const struct {
        bool beside, installedFolder, installed;
        const char* found;
    } cases[] = {
        {true, true, true, "/bin/lame_enc.so"},
        {false, true, true, "/lib/dorvane/lame_enc.so"},
        {false, true, false, "/lib/dorvane/lame_enc.so"}, // where it belongs, for the message
        {false, false, false, "/bin/lame_enc.so"},
    };
    for (const auto& c : cases) {
        testsupport::TempFolder prefix;
        fs::create_directories(prefix.file("bin"));
        if (c.installedFolder)
            fs::create_directories(prefix.file("lib/dorvane"));
        if (c.beside)
            fs::copy_file(DORVANE_LAME_MODULE, prefix.file("bin/lame_enc.so"));
        if (c.installed)
            fs::copy_file(DORVANE_LAME_MODULE, prefix.file("lib/dorvane/lame_enc.so"));
        modGeneral::SetAppFolderForTesting(QString::fromStdString(prefix.file("bin")));
        const QString found = modGeneral::PrivateModulePath(QStringLiteral("lame_enc.so"));
        modGeneral::SetAppFolderForTesting({});
        EXPECT_EQ(found.toStdString(), prefix.path() + c.found);
        if (c.installed) {
            void* module = ::dlopen(found.toUtf8().constData(), RTLD_NOW | RTLD_LOCAL);
            EXPECT_TRUE(module && ::dlsym(module, "beInitStream")) << ::dlerror();
            if (module)
                ::dlclose(module);
        }
    }
}
