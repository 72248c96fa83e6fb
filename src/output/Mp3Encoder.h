#pragma once
// MP3 files through the encoder module: exactly the module's bytes, after an
// optional tag, handed to the output in whole frames; a file cut short by a
// failed write is cut back to the last frame written whole.

#include "output/TrackEncoder.h"
#include "output/lame_enc.h"
#include "output/modLAME.h"

#include <QByteArray>

#include <memory>

namespace ripengine {

// The module's stream for config; prefix (an ID3 tag, say) is written before
// the first MP3 frame. The module must outlive the encoder.
std::unique_ptr<TrackEncoder> MakeMp3Encoder(const modLAME::LameLibrary& lame,
                                             const lame_enc::BE_CONFIG& config,
                                             QByteArray prefix = {});

} // namespace ripengine
