#pragma once
// The track list saved as a file: the program's own format (".dv"), an HTML
// page, an ASP page or plain text. Every line, the last included, ends with
// CR LF; names are written as they are, in the system's 8-bit encoding.

#include <QString>
#include <QStringList>

class Dialogs;

namespace modSave {

enum class Writer { OwnFormat, Html, Asp, Text };

// The writer for a file name, by how the name ends (case counts): "html",
// then "asp", then "txt"; anything else gets the own format.
Writer WriterFor(const QString& fileName);

// What a writer reports: done, or why the file could not be written.
struct Outcome {
    bool ok = true;
    QString error; // a sentence naming the file and the system's reason
};

// Each creates path (replacing a file that is there) and writes every entry.
Outcome SaveAsOwnFormat(const QString& path, const QStringList& entries);
Outcome SaveAsText(const QString& path, const QStringList& entries);
Outcome SaveAsHtml(const QString& path, const QStringList& entries);
Outcome SaveAsAsp(const QString& path, const QStringList& entries);

// File > Save Track list: asks for a name (starting in folder), writes the
// entries with the writer the name calls for, and says how it went.
void SaveTrackList(Dialogs& dialogs, const QString& folder, const QStringList& entries);

} // namespace modSave
