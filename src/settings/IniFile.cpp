#include "settings/IniFile.h"

#include "general/modFiles.h"

#include <QList>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

using modFiles::UniqueFd;

struct Loaded {
    enum { Missing, Ok, TooBig, Failed } state = Failed;
    QByteArray data;
    struct stat st {};
    int error = 0; // errno of a failed read; 0 for a file that is not a regular one
};

Loaded Load(const QByteArray& path) {
    Loaded r;
    // O_NONBLOCK: a FIFO put in place of the file must not hang us in open().
    UniqueFd fd(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        r.error = errno;
        r.state = r.error == ENOENT ? Loaded::Missing : Loaded::Failed;
        return r;
    }
    if (::fstat(fd.get(), &r.st) != 0) {
        r.error = errno;
        return r;
    }
    if (!S_ISREG(r.st.st_mode))
        return r;
    char buf[65536];
    while (r.data.size() <= IniFile::kMaxBytes) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            r.error = errno;
            return r;
        }
        if (n == 0)
            break;
        r.data.append(buf, n);
    }
    r.state = Loaded::Ok;
    if (r.data.size() > IniFile::kMaxBytes) {
        r.data.truncate(IniFile::kMaxBytes);
        r.state = Loaded::TooBig;
    }
    return r;
}

// A file as lines that keep their own endings, so a rewrite reproduces every
// line we don't touch byte for byte.
struct Line {
    QByteArray text;
    QByteArray eol;
};

struct Doc {
    QByteArray bom;
    QList<Line> lines;
    QByteArray eol = "\n"; // for lines we add: the file's own style
};

Doc Split(QByteArray data) {
    Doc d;
    if (data.startsWith("\xEF\xBB\xBF")) {
        d.bom = data.left(3);
        data.remove(0, 3);
    }
    bool styleKnown = false;
    for (qsizetype pos = 0; pos < data.size();) {
        const qsizetype nl = data.indexOf('\n', pos);
        Line l{data.mid(pos, nl < 0 ? -1 : nl - pos), {}};
        pos = nl < 0 ? data.size() : nl + 1;
        if (nl >= 0) {
            l.eol = l.text.endsWith('\r') ? QByteArray("\r\n") : QByteArray("\n");
            if (l.eol.size() == 2)
                l.text.chop(1);
            if (!std::exchange(styleKnown, true))
                d.eol = l.eol;
        }
        d.lines.append(std::move(l));
    }
    return d;
}

bool IsComment(const QByteArray& trimmed) {
    return trimmed.startsWith(';') || trimmed.startsWith('#');
}

// The name a header line opens; a missing "]" lets the name run to the line's end.
std::optional<QString> SectionOf(const QByteArray& text) {
    const QByteArray t = text.trimmed();
    if (!t.startsWith('['))
        return std::nullopt;
    const qsizetype end = t.indexOf(']');
    return QString::fromUtf8(t.mid(1, end < 0 ? -1 : end - 1).trimmed());
}

// Where the value starts on a key line (past "=" and its blanks), or -1.
qsizetype ValueAt(const QByteArray& text, const QString& key) {
    const qsizetype eq = text.indexOf('=');
    if (eq < 0)
        return -1;
    const QByteArray name = text.left(eq).trimmed();
    if (name.isEmpty() || IsComment(name) ||
        QString::fromUtf8(name).compare(key, Qt::CaseInsensitive) != 0)
        return -1;
    qsizetype at = eq + 1;
    while (at < text.size() && (text.at(at) == ' ' || text.at(at) == '\t'))
        ++at;
    return at;
}

struct Spot {
    qsizetype keyLine = -1;
    qsizetype valueAt = -1;
    qsizetype lastInSection = -1; // header or last key/other line of the section
};

Spot Find(const Doc& d, const QString& section, const QString& key) {
    Spot s;
    bool inside = false; // lines before any header belong to no section
    for (qsizetype i = 0; i < d.lines.size(); ++i) {
        const QByteArray& text = d.lines.at(i).text;
        if (const auto name = SectionOf(text)) {
            inside = name->compare(section, Qt::CaseInsensitive) == 0;
            if (inside)
                s.lastInSection = i;
            continue;
        }
        if (!inside)
            continue;
        if (const qsizetype at = ValueAt(text, key); at >= 0) {
            s.keyLine = i;
            s.valueAt = at;
            return s;
        }
        // Comments are left out: one just before the next header belongs to it.
        const QByteArray t = text.trimmed();
        if (!t.isEmpty() && !IsComment(t))
            s.lastInSection = i;
    }
    return s;
}

void InsertLine(Doc& d, qsizetype at, QByteArray text) {
    if (at > 0 && d.lines[at - 1].eol.isEmpty())
        d.lines[at - 1].eol = d.eol;
    d.lines.insert(at, Line{std::move(text), d.eol});
}

// Values are often file names, which need not be UTF-8: they are kept byte
// for byte, the way file names are handed to the system.
QByteArray Encode(QString value) {
    // A line break would end the line early and turn the rest into garbage.
    QByteArray v = modFiles::PathBytes(value.replace(QLatin1Char('\r'), QLatin1Char(' '))
                                           .replace(QLatin1Char('\n'), QLatin1Char(' ')));
    // Reading trims blanks and strips one pair of quotes; quote what it would change.
    if (v != v.trimmed() || (v.size() >= 2 && v.startsWith('"') && v.endsWith('"')))
        v = '"' + v + '"';
    return v;
}

// Names that would read back as something else (or break the line) are refused.
bool Usable(const QString& name, QLatin1String forbidden) {
    if (name.isEmpty() || name.trimmed() != name || name.contains(QLatin1Char('\n')) ||
        name.contains(QLatin1Char('\r')))
        return false;
    for (const char c : forbidden)
        if (name.contains(QLatin1Char(c)))
            return false;
    return true;
}

} // namespace

IniFile::IniFile(QString path) : path_(std::move(path)) {}

QString IniFile::Read(const QString& section, const QString& key, const QString& deflt) const {
    const Loaded file = Load(modFiles::PathBytes(path_));
    if (file.state != Loaded::Ok && file.state != Loaded::TooBig)
        return deflt;
    const Doc d = Split(file.data);
    const Spot s = Find(d, section, key);
    if (s.keyLine < 0)
        return deflt;
    QByteArray v = d.lines.at(s.keyLine).text.mid(s.valueAt).trimmed();
    if (v.size() >= 2 && v.startsWith('"') && v.endsWith('"'))
        v = v.mid(1, v.size() - 2);
    return modFiles::PathFromBytes(v);
}

bool IniFile::Write(const QString& section, const QString& key, const QString& value,
                    QString* why) const {
    const auto fail = [why](const QString& reason) {
        if (why)
            *why = reason;
        return false;
    };
    if (!Usable(section, QLatin1String("]")) || !Usable(key, QLatin1String("=[;#")))
        return fail(QStringLiteral("not a usable section or key name"));
    // Through a symlink we update the file it points to, not replace the link.
    const QByteArray target = modFiles::ResolvedPath(modFiles::PathBytes(path_));
    const Loaded file = Load(target);
    if (file.state == Loaded::Failed)
        return file.error ? fail(QString::fromLocal8Bit(std::strerror(file.error)))
                          : fail(QStringLiteral("it is not a regular file"));
    // A file too big to read whole would lose its tail.
    if (file.state == Loaded::TooBig)
        return fail(QStringLiteral("the file is too large to be a settings file"));
    // A read-only file is refused even for root, whom access() lets through.
    if (file.state == Loaded::Ok) {
        if (::access(target.constData(), W_OK) != 0)
            return fail(QString::fromLocal8Bit(std::strerror(errno)));
        if ((file.st.st_mode & 0222) == 0)
            return fail(QStringLiteral("the file is read-only"));
    }

    Doc d = Split(file.data);
    const Spot s = Find(d, section, key);
    if (s.keyLine >= 0) {
        Line& l = d.lines[s.keyLine];
        l.text = l.text.left(s.valueAt) + Encode(value);
    } else if (s.lastInSection >= 0) {
        InsertLine(d, s.lastInSection + 1, key.toUtf8() + '=' + Encode(value));
    } else {
        if (!d.lines.isEmpty() && !d.lines.constLast().text.trimmed().isEmpty())
            InsertLine(d, d.lines.size(), QByteArray());
        InsertLine(d, d.lines.size(), '[' + section.toUtf8() + ']');
        InsertLine(d, d.lines.size(), key.toUtf8() + '=' + Encode(value));
    }

    QByteArray bytes = d.bom;
    for (const Line& l : std::as_const(d.lines))
        bytes.append(l.text).append(l.eol);
    if (const int error =
            modFiles::ReplaceWhole(target, bytes, file.state == Loaded::Ok ? &file.st : nullptr))
        return fail(QString::fromLocal8Bit(std::strerror(error)));
    return true;
}
