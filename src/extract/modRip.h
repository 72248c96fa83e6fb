#pragma once
// The extraction driver behind "Extract": walks the track list from top to
// bottom and hands every ticked track to the WAV or MP3 extractor.

#include "extract/ExtractUi.h"
#include "extract/WindowRun.h"
#include "output/TrackTags.h"
#include "output/lame_enc.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

class Dialogs;

namespace modRip {

inline const QString kNoPathText = QStringLiteral("Please select a valid output path");
inline const QString kNoPathTitle = QStringLiteral("No output path specified");

// The settings window's encoder controls, as the person left them.
struct EncoderChoices {
    QString bitrateText;   // cmbBitrate's text
    int qualityIndex = -1; // cmbQuality's list index, -1 for none
    bool privateFlag = false;
    bool crc = false;
    bool copyright = false;
    bool original = false;
};

// What the driver reads of the main window and the settings window, once,
// when Extract is clicked: tracks are encoded ahead, so a change made during
// the run could not count for the later tracks alone.
class RipSource {
  public:
    virtual ~RipSource() = default;
    virtual int ItemCount() = 0;
    virtual bool IsChecked(int index) = 0;
    virtual QString ItemText(int index) = 0;
    virtual bool Mp3Selected() = 0;
    virtual QString OutPath() = 0;
    virtual EncoderChoices Encoder() = 0;
    // Shows the settings window, not modal, without an owner.
    virtual void ShowSettings() = 0;
};

// The path with a "/" at its end (paths here use "/" for the folder mark).
QString EnsureTrailingBackslash(const QString& path);

// The number at the start of the text, rounded to the nearest integer with a
// half going to the even neighbour; 0 when the text does not begin with a
// number or the number is no bitrate at all (negative or huge).
std::uint32_t BitrateFromText(const QString& text);

// The encoder configuration for the choices: constant bitrate, joint
// stereo, MPEG-1 at 44100 Hz.
lame_enc::BE_CONFIG MakeEncoderConfig(const EncoderChoices& choices);

// folder + name + extension, where a "/" in the name becomes "_" so that the
// file lands directly in the folder.
QString OutputFileName(const QString& folder, const QString& name, const QString& extension);

// The settings file's key for the number of MP3 tracks encoded at once.
inline const QString kJobsKey = QStringLiteral("Jobs");
// Jobs= from the settings file, else the number of cores.
int JobsSetting();

// Gives each track whose file name an earlier one has already "name (2)",
// "name (3)" ..., never a name another track has. The message that says
// which were renamed; empty when none was.
QString RenameClashes(std::vector<windowrun::Track>& tracks, const QString& extension);

// What the tag of an MP3 file says, for the list item index whose text is
// name at the click; nothing for a file without a tag.
using TagsFor = std::function<std::optional<ripengine::TrackTags>(int index, const QString& name)>;

// One run over the list: the ticked tracks, extracted in list order. Does
// nothing while a run is already in progress. MP3 files get the tags tagsFor
// gives, when it is given; WAV files never have tags.
void cmdRip_Click(RipSource& source, ProgressHost& host, Dialogs& dialogs,
                  const TagsFor& tagsFor = {});

} // namespace modRip
