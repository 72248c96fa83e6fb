#pragma once
// Helpers for window tests: controls found by their design names, a fresh
// program state for each test, a main window on disc images of its own, and
// a stand-in for the main window's list and its Track no/prefix option.

#include "ScriptedDialogs.h"
#include "TestSupport.h"
#include "settings/frmSettings.h"
#include "settings/modSettings.h"
#include "shell/Dorvane.h"
#include "tracks/TrackListBox.h"
#include "tracks/frmChangeTrack.h"

#include <QAction>
#include <QComboBox>
#include <QStringList>
#include <QTest>
#include <QWidget>
#include <memory>

namespace testsupport {

// The control of that name inside window; a test that names a control the
// window lacks stops at once rather than crash later on a null pointer.
template <typename T> T* child(const QObject* window, const char* name) {
    T* found = window->findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

// Its own application folder (so its own Dorvane.ini), its own
// configuration folder and no drive open, for the lifetime of one test.
class FreshProgram {
  public:
    FreshProgram();
    ~FreshProgram();
    FreshProgram(const FreshProgram&) = delete;
    FreshProgram& operator=(const FreshProgram&) = delete;

    TempFolder folder;

  private:
    QByteArray config_;
};

// A fresh program with a main window on disc images of its own, answered by
// scripted dialogs. The window goes first, so nothing outlives what it uses.
struct MainWindowRig : FreshProgram {
    ScriptedDialogs dialogs;
    std::optional<ScopedDiscImages> images;
    std::unique_ptr<Dorvane> window;

    ~MainWindowRig() { delete frmChangeTrack::Instance(); }
    // The drives: <name>.cue with tracks of these lengths in sectors; a name
    // without lengths is a drive without a disc.
    void discs(const std::vector<std::pair<std::string, std::vector<std::int32_t>>>& plan) {
        std::vector<std::string> paths;
        for (const auto& [name, lengths] : plan)
            paths.push_back(lengths.empty() ? folder.file(name + ".cue")
                                            : MakeImage(folder, name, lengths));
        images.emplace(paths);
    }
    // A new main window (startDrive: an image named on the command line),
    // shown and active, with the focus in its list.
    Dorvane& open(const QString& startDrive = {}) {
        window.reset();
        window = std::make_unique<Dorvane>(dialogs, startDrive);
        window->show();
        if (!QTest::qWaitForWindowActive(window.get()))
            qFatal("the main window did not become active");
        window->TrackList->setFocus();
        return *window;
    }
    // A stored setting, "unset" if none.
    static QString saved(const QString& key) {
        return modSettings::ReadSetting(modSettings::kSection, key, QStringLiteral("unset"));
    }
};

// Picks entry index from combo's open list with a click, as a person does.
void pickFromList(QComboBox* combo, int index);

// The pieces of the main window the rename windows work with.
struct ListOwner {
    QWidget owner;
    TrackListBox* list = new TrackListBox(&owner);
    QAction option{QStringLiteral("Track no/prefix"), &owner};

    // current: the row made current, -1 for none.
    ListOwner(const QStringList& names, bool numbered, int current = -1);
};

} // namespace testsupport
