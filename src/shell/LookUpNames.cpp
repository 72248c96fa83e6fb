#include "shell/LookUpNames.h"

#include "cd/modAKRip32.h"
#include "extract/mVariables.h"
#include "general/Dialogs.h"
#include "general/modGeneral.h"
#include "settings/modSettings.h"
#include "tracks/TrackListBox.h"
#include "tracks/modNames.h"

#include <QAction>
#include <QMetaObject>
#include <QRegularExpression>
#include <QWidget>

namespace {

// The address lookups go to: MusicBrainzUrl= in the settings, else the
// service's own.
QString ServiceAddress() {
    const QString saved =
        modSettings::ReadSetting(modSettings::kSection, modSettings::kMusicBrainzUrl, QString())
            .trimmed();
    return saved.isEmpty() ? names::LookupOptions().musicBrainzUrl : saved;
}

// A title fit for the list: control characters become spaces, and spaces at
// either end go.
QString CleanTitle(const QString& text) {
    QString clean = text;
    for (QChar& c : clean)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = u' ';
    return clean.trimmed();
}

// The album's title as a prefix: clean and without spaces, as the rename
// windows keep every prefix, so that a rename afterwards reads it whole.
QString PrefixOfAlbum(const QString& album) {
    return CleanTitle(album).remove(u' ');
}

// List item index's name for title: "title NN - prefix" while numbered,
// else the title alone.
QString ComposedName(const QString& title, int index, const QString& prefix, bool numbered) {
    if (!numbered)
        return title;
    // The number as a freshly read list writes it: "01".
    return modNames::ComposeName(
        title, modNames::TrackNoFromName(modNames::DefaultTrackName(index + 1)), prefix);
}

// The title part of a list name: what comes before " NN - prefix" while
// numbered, else the whole name. A rename writes one word as the number.
QString TitleOfName(const QString& name, bool numbered) {
    static const QRegularExpression numberAndPrefix(QStringLiteral("^(.*) \\S* - \\S*$"));
    if (!numbered)
        return name;
    const QRegularExpressionMatch match = numberAndPrefix.match(name);
    return match.hasMatch() ? match.captured(1) : name;
}

// A release in the list of several: its title (and which disc of a set),
// artist, date, country, label, catalogue number and tracks.
QStringList ChoiceHeadings() {
    return {QStringLiteral("Title"),   QStringLiteral("Artist"), QStringLiteral("Date"),
            QStringLiteral("Country"), QStringLiteral("Label"),  QStringLiteral("Catalogue no."),
            QStringLiteral("Tracks")};
}

QStringList ChoiceCells(const names::ReleaseNames& release) {
    QString title = CleanTitle(release.title);
    if (release.mediumCount > 1)
        title +=
            QStringLiteral(" (disc %1 of %2)").arg(release.mediumPosition).arg(release.mediumCount);
    return {title,
            CleanTitle(release.artist),
            release.date,
            release.country,
            CleanTitle(release.label),
            CleanTitle(release.catalogNumber),
            QString::number(release.tracks.size())};
}

// What the file of track says, titled title, as the command line's tags
// say it; total is the disc's last track number.
ripengine::TrackTags TagsOf(const names::ReleaseNames& release, const names::TrackNames& track,
                            int total, const QString& discId, const QString& title) {
    ripengine::TrackTags tags;
    tags.title = title;
    tags.artist = track.artist.isEmpty() ? release.artist : track.artist;
    tags.album = release.title;
    tags.number = track.number;
    tags.total = total;
    tags.albumArtist = release.artist;
    tags.disc = release.mediumPosition;
    tags.discTotal = release.mediumCount;
    tags.date = release.date;
    tags.barcode = release.barcode;
    tags.musicBrainzAlbumId = release.releaseId;
    tags.musicBrainzTrackId = track.recordingId;
    tags.musicBrainzArtistId = track.artistIds.join(u'/');
    tags.musicBrainzDiscId = discId;
    return tags;
}

const names::TrackNames* TrackNumbered(const names::ReleaseNames& release, int number) {
    for (const names::TrackNames& track : release.tracks)
        if (track.number == number)
            return &track;
    return nullptr;
}

bool SameToc(const verify::DiscToc& a, const verify::DiscToc& b) {
    if (a.first != b.first || a.last != b.last || a.leadout != b.leadout ||
        a.tracks.size() != b.tracks.size())
        return false;
    for (std::size_t i = 0; i < a.tracks.size(); ++i)
        if (a.tracks[i].number != b.tracks[i].number || a.tracks[i].start != b.tracks[i].start ||
            a.tracks[i].audio != b.tracks[i].audio)
            return false;
    return true;
}

// "cannot look ...: why" as a sentence.
QString Sentence(QString line) {
    if (!line.isEmpty())
        line[0] = line[0].toUpper();
    if (!line.endsWith(u'.'))
        line += u'.';
    return line;
}

} // namespace

LookUpNames::LookUpNames(QWidget* window, TrackListBox* list, const QAction* numbered,
                         Dialogs& dialogs)
    : window_(window), list_(list), numbered_(numbered), dialogs_(dialogs) {}

LookUpNames::~LookUpNames() {
    Stop();
}

void LookUpNames::Start() {
    if (busy_ || !list_)
        return;
    if (list_->Count() == 0) {
        dialogs_.MsgBox(QStringLiteral("Cannot look up names because there are no tracks in the "
                                       "list"),
                        Dialogs::Buttons::Ok, Dialogs::Icon::Exclamation, modGeneral::kAppTitle);
        return;
    }
    toc_ = verify::TocFromDrive(modAKRip32::Drive().DiscTOC);
    names::LookupOptions options;
    options.musicBrainzUrl = ServiceAddress();
    options.cancel = &cancel_;
    cancel_ = false;
    busy_ = true;
    if (window_)
        window_->setCursor(Qt::WaitCursor);
    const unsigned lookup = ++lookups_;
    thread_ = std::thread([this, toc = toc_, options, lookup] {
        result_ = names::LookUpDisc(toc, options);
        QMetaObject::invokeMethod(
            this, [this, lookup] { Finished(lookup); }, Qt::QueuedConnection);
    });
}

void LookUpNames::Stop() {
    cancel_ = true;
    if (thread_.joinable())
        thread_.join();
    if (busy_ && window_)
        window_->unsetCursor();
    busy_ = false;
    pending_ = false;
}

void LookUpNames::Finished(unsigned lookup) {
    // Stop joined the thread already: its result is dropped.
    if (lookup != lookups_ || !thread_.joinable())
        return;
    thread_.join();
    if (window_)
        window_->unsetCursor();
    // The run has taken the names as they were at its click; they change
    // once it ends.
    if (mVariables::RunInProgress) {
        pending_ = true;
        return;
    }
    Handle();
}

void LookUpNames::Resume() {
    if (!pending_)
        return;
    pending_ = false;
    Handle();
}

void LookUpNames::Handle() {
    struct Done {
        bool& busy;
        ~Done() { busy = false; }
    } done{busy_};
    // Meanwhile the list was cleared, or another disc read: the answer is
    // not about it.
    if (!SameDisc())
        return;
    const names::LookupResult result = std::move(result_);
    result_ = {};
    switch (result.status) {
    case names::LookupResult::Status::Failed:
        dialogs_.MsgBox(Sentence(result.error), Dialogs::Buttons::Ok, Dialogs::Icon::Exclamation,
                        modGeneral::kAppTitle);
        return;
    case names::LookupResult::Status::NotFound:
        dialogs_.MsgBox(QStringLiteral("This disc is not in MusicBrainz."), Dialogs::Buttons::Ok,
                        Dialogs::Icon::Information, modGeneral::kAppTitle);
        return;
    case names::LookupResult::Status::Found:
        break;
    }
    if (result.releases.size() == 1) {
        Apply(result.releases.front());
        return;
    }
    QList<QStringList> rows;
    for (const names::ReleaseNames& release : result.releases)
        rows << ChoiceCells(release);
    const int pick = dialogs_.ChooseFromList(
        QStringLiteral("Look up names"),
        QStringLiteral("MusicBrainz knows %1 releases of this disc. Which one names the tracks?")
            .arg(result.releases.size()),
        ChoiceHeadings(), rows);
    // The list may have changed while the choice was open (a stop signal
    // closes it, and then the window).
    if (pick >= 0 && pick < int(result.releases.size()) && SameDisc())
        Apply(result.releases[std::size_t(pick)]);
}

bool LookUpNames::SameDisc() const {
    return list_ && list_->Count() > 0 &&
           list_->Count() == modAKRip32::TrackCount(modAKRip32::Drive().DiscTOC) &&
           SameToc(toc_, verify::TocFromDrive(modAKRip32::Drive().DiscTOC));
}

void LookUpNames::Apply(const names::ReleaseNames& release) {
    const bool numbered = numbered_ && numbered_->isChecked();
    const QString prefix = PrefixOfAlbum(release.title);
    numbers_.clear();
    for (int i = 0; i < list_->Count(); ++i) {
        const int number =
            std::size_t(i) < toc_.tracks.size() ? toc_.tracks[std::size_t(i)].number : 0;
        numbers_.push_back(number);
        const names::TrackNames* track = TrackNumbered(release, number);
        const QString title = track ? CleanTitle(track->title) : QString();
        // A data track, or one the release leaves untitled, keeps its name.
        if (!title.isEmpty())
            list_->SetItemText(i, ComposedName(title, i, prefix, numbered));
    }
    release_ = release;
    total_ = toc_.tracks.empty() ? 0 : toc_.tracks.back().number;
    std::string error;
    const std::optional<verify::DiscIds> ids = verify::ComputeDiscIds(toc_, error);
    discId_ = ids ? QString::fromStdString(ids->musicBrainz) : QString();
}

void LookUpNames::Forget() {
    release_.reset();
    numbers_.clear();
}

modRip::TagsFor LookUpNames::TagsForRun() const {
    if (!release_)
        return {};
    const bool numbered = numbered_ && numbered_->isChecked();
    return [release = *release_, numbers = numbers_, total = total_, discId = discId_,
            numbered](int index, const QString& name) -> std::optional<ripengine::TrackTags> {
        if (index < 0 || std::size_t(index) >= numbers.size())
            return std::nullopt;
        const names::TrackNames* track = TrackNumbered(release, numbers[std::size_t(index)]);
        if (!track)
            return std::nullopt;
        return TagsOf(release, *track, total, discId, TitleOfName(name, numbered));
    };
}
