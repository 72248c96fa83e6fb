#pragma once
// Helpers for window tests: controls found by their design names, a fresh
// program state for each test, and a stand-in for the main window's list and
// its Track no/prefix option.

#include "TestSupport.h"
#include "tracks/TrackListBox.h"

#include <QAction>
#include <QComboBox>
#include <QStringList>
#include <QWidget>

namespace testsupport {

// The control of that name inside window; a test that names a control the
// window lacks stops at once rather than crash later on a null pointer.
template <typename T>
T* child(const QObject* window, const char* name) {
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

}  // namespace testsupport
