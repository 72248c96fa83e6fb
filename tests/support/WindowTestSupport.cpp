#include "WindowTestSupport.h"

#include "cd/akrip32_testing.h"
#include "cd/modAKRip32.h"
#include "general/FormLayout.h"
#include "general/modGeneral.h"

namespace testsupport {

FreshProgram::FreshProgram() {
    formlayout::InstallFontSubstitutes();
    modGeneral::SetAppFolderForTesting(folder.qpath());
    akrip::testing::CloseAllHandles();
    modAKRip32::Drive() = {};
}

FreshProgram::~FreshProgram() {
    akrip::testing::CloseAllHandles();
    modGeneral::SetAppFolderForTesting({});
}

ListOwner::ListOwner(const QStringList& names, bool numbered, int current) {
    for (const QString& name : names)
        list->AddItem(name);
    list->setCurrentRow(current);
    option.setCheckable(true);
    option.setChecked(numbered);
}

}  // namespace testsupport
