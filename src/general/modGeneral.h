#pragma once
// Program-wide names and places: the application title, folder and version.

#include <QString>

namespace modGeneral {

// Caption of the main window, base of the settings file name, and caption of
// every message box that gives no title of its own.
inline const QString kAppTitle = QStringLiteral("Dorvane");

// The version the build records (major.minor.revision of the project).
int VersionMajor();
int VersionMinor();
int VersionRevision();

// The folder that holds the program file, without a trailing "/" (except "/").
QString AppFolder();

// Where the program finds a private module of its own (the encoder): beside
// the program in the build tree, or <prefix>/lib/dorvane/ for a program
// installed in <prefix>/bin/. The first of the two that exists; when neither
// does, the installed place if that folder is there, else the one beside.
QString PrivateModulePath(const QString& fileName);

// Tests run many programs from one build folder; each points the application
// folder at a temporary folder of its own. An empty path restores the real one.
void SetAppFolderForTesting(const QString& folder);

} // namespace modGeneral
