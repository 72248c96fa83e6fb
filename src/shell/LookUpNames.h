#pragma once
// Tools > Look up names: the open disc's names from MusicBrainz. The lookup
// runs on a thread of its own, so the window stays usable meanwhile; this
// object owns that thread and joins it on every way out. One release names
// the tracks at once; several are offered in a list to pick from; a disc the
// service does not know, and a lookup that fails, are told in one box and
// the names stay as they were.
//
// Names are composed as Rename All composes them: each track's title, and the
// album's title as the prefix, with the number while Track no/prefix is on.
// The release picked is kept until the list is read anew, and gives the tags
// of the MP3 files of a later run.

#include "extract/modRip.h"
#include "names/NameLookup.h"
#include "verify/DiscToc.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <atomic>
#include <optional>
#include <thread>
#include <vector>

class Dialogs;
class QAction;
class QWidget;
class TrackListBox;

class LookUpNames : public QObject {
    Q_OBJECT
  public:
    // window shows the wait cursor while a lookup runs; list and numbered
    // (the Track no/prefix option) are the main window's.
    LookUpNames(QWidget* window, TrackListBox* list, const QAction* numbered, Dialogs& dialogs);
    // Cancels a lookup that runs and waits for its thread.
    ~LookUpNames() override;
    LookUpNames(const LookUpNames&) = delete;
    LookUpNames& operator=(const LookUpNames&) = delete;

    // Looks the open disc up. Does nothing while a lookup is under way (its
    // result not yet handled); on an empty list a box says there is nothing
    // to look up.
    void Start();
    // Cancels a running lookup and waits for its thread; its result is
    // dropped. Closing the window calls it.
    void Stop();
    // A result that came during an extraction is handled once the run ended.
    void Resume();
    // The list was read anew: its names no longer come from a release.
    void Forget();
    // The tags of a run's MP3 files, from the release the names came from and
    // each track's name at the click; empty when no lookup named the list.
    modRip::TagsFor TagsForRun() const;

  private:
    // On the window's thread once lookup number `lookup` ended.
    void Finished(unsigned lookup);
    void Handle();
    void Apply(const names::ReleaseNames& release);
    bool SameDisc() const;

    QPointer<QWidget> window_;
    QPointer<TrackListBox> list_;
    QPointer<const QAction> numbered_;
    Dialogs& dialogs_;

    std::thread thread_;
    std::atomic<bool> cancel_{false};
    unsigned lookups_ = 0; // lookups started
    // Written by the thread, read once it has been joined.
    names::LookupResult result_;
    verify::DiscToc toc_; // the table looked up
    bool busy_ = false;   // from Start until the result is handled
    bool pending_ = false;

    std::optional<names::ReleaseNames> release_;
    std::vector<int> numbers_; // each list item's number on the disc, at Apply
    int total_ = 0;
    QString discId_; // MusicBrainz's, of the table looked up
};
