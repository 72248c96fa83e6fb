#pragma once
// MP3 files through the encoder module: exactly the module's bytes, after an
// optional tag, handed to the output in whole frames; a file cut short by a
// failed write is cut back to the last frame written whole. On request the
// first frame is the Info frame, written last.

#include "output/TrackEncoder.h"
#include "output/lame_enc.h"
#include "output/modLAME.h"

#include <QByteArray>

#include <memory>

namespace ripengine {

// Whether the file's first frame is the Info frame (the LAME tag), from which
// players learn the encoder's delay and padding and so play an album without
// gaps. Without it a file is the lame command's with -t, with it the lame
// command's without: the first frame's room is written with the audio, and
// the frame into it once the audio has ended.
enum class InfoFrame { None, Write };

// The module's stream for config; prefix (an ID3 tag, say) is written before
// the first MP3 frame. The module must outlive the encoder. A track that fails
// keeps the Info frame's room as it was written, a blank frame.
std::unique_ptr<TrackEncoder> MakeMp3Encoder(const modLAME::LameLibrary& lame,
                                             const lame_enc::BE_CONFIG& config,
                                             QByteArray prefix = {},
                                             InfoFrame info = InfoFrame::None);

} // namespace ripengine
