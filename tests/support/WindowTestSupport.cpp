#include "WindowTestSupport.h"

#include "cd/akrip32_testing.h"
#include "cd/modAKRip32.h"
#include "general/FormLayout.h"
#include "general/modGeneral.h"

#include <QAbstractItemView>
#include <QFile>
#include <QTest>

namespace testsupport {

FreshProgram::FreshProgram() {
    formlayout::InstallFontSubstitutes();
    config_ = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder.qpath() + QStringLiteral("/config")));
    modGeneral::SetAppFolderForTesting(folder.qpath());
    akrip::testing::CloseAllHandles();
    modAKRip32::Drive() = {};
}

FreshProgram::~FreshProgram() {
    qputenv("XDG_CONFIG_HOME", config_);
    akrip::testing::CloseAllHandles();
    modGeneral::SetAppFolderForTesting({});
}

void pickFromList(QComboBox* combo, int index) {
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    QVERIFY(QTest::qWaitForWindowExposed(view->window()));
    const QRect entry = view->visualRect(view->model()->index(index, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, entry.center());
}

ListOwner::ListOwner(const QStringList& names, bool numbered, int current) {
    for (const QString& name : names)
        list->AddItem(name);
    list->setCurrentRow(current);
    option.setCheckable(true);
    option.setChecked(numbered);
}

} // namespace testsupport
