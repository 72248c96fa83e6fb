#pragma once
// A profile file in the usual INI form: [Section] headers and key=value lines.
// Reading is forgiving (a damaged file yields what can be read, never a crash);
// writing changes only the one line it must and replaces the file atomically.

#include <QString>

class IniFile {
  public:
    // We never read more than this; a settings file is a few hundred bytes,
    // anything bigger is not ours and must not stall the program.
    static constexpr qint64 kMaxBytes = 4 * 1024 * 1024;

    explicit IniFile(QString path);

    const QString& Path() const { return path_; }

    // The value of key in section (names compared without regard to case),
    // or deflt when the file, the section or the key is missing.
    QString Read(const QString& section, const QString& key, const QString& deflt) const;

    // Sets key in section, creating either as needed. False when the file
    // could not be replaced; the old file is then left as it was, and why
    // (when given) receives the reason in the system's words.
    bool Write(const QString& section, const QString& key, const QString& value,
               QString* why = nullptr) const;

  private:
    QString path_;
};
