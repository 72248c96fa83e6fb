#pragma once
// The help file, the product's web pages and the publisher's details. The
// addresses and names come from the build (one place, in src/CMakeLists.txt).

#include <QString>

class Dialogs;

namespace modHelp {

// True when text holds nothing but spaces.
bool IsBlank(const QString& text);
// True when path names a plain file that can be read; a folder, a device or
// anything else of that name counts as missing, and so does a blank path.
bool FileExists(const QString& path);

// The help file: help.chm in the application folder.
QString HelpFilePath();

// Pages of the product's support site, and the publisher's home page.
QString ProductPage();  // Visit Homepage, and the online documentation
QString DownloadPage(); // Check for new version
QString ContactPage();  // Report Bug
QString HomePage();
QString CompanyName();
QString CopyrightNotice();

// Help > Help (F1): opens the help file, or offers the online documentation
// when there is none.
void ShowHelp(Dialogs& dialogs);

} // namespace modHelp
