#pragma once
// File > Print track list: the printer dialog, then the list on paper (or in
// a PDF file, when the person chose to print to a file).

#include <QStringList>

class Dialogs;

// Asks for a printer in a dialog titled "Print Track List"; once confirmed,
// prints a title and one line per entry, as the plain text export reads.
// Cancelling prints nothing.
void PrintTrackList(Dialogs& dialogs, const QStringList& entries);
